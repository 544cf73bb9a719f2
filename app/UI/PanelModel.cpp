#include "UI/PanelModel.h"

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<NudgeFrequency> kFrequencies[] = {
    {NudgeFrequency::quiet, "quiet"},
    {NudgeFrequency::balanced, "balanced"},
    {NudgeFrequency::off, "off"},
};

constexpr EnumName<NudgeFrequency> kLabels[] = {
    {NudgeFrequency::quiet, "Rarely"},
    {NudgeFrequency::balanced, "Balanced"},
    {NudgeFrequency::off, "Off"},
};

}  // namespace

std::string_view toString(NudgeFrequency f) {
    return enumName(f, kFrequencies);
}

std::optional<NudgeFrequency> nudgeFrequencyFrom(std::string_view raw) {
    return enumFromName(raw, kFrequencies);
}

std::string_view label(NudgeFrequency f) {
    return enumName(f, kLabels);
}

InterruptBoundary interruptBoundary(NudgeFrequency f) {
    switch (f) {
        case NudgeFrequency::quiet:
            return InterruptBoundary::unmistakable;
        case NudgeFrequency::balanced:
            return InterruptBoundary::effortStopsChanging;
        case NudgeFrequency::off:
            return InterruptBoundary::onlyWhenAsked;
    }
    return InterruptBoundaries::defaultBoundary;
}

NudgeFrequency nudgeFrequency(InterruptBoundary b) {
    switch (b) {
        case InterruptBoundary::unmistakable:
            return NudgeFrequency::quiet;
        case InterruptBoundary::effortStopsChanging:
            return NudgeFrequency::balanced;
        case InterruptBoundary::onlyWhenAsked:
            return NudgeFrequency::off;
    }
    return NudgeFrequency::balanced;
}

DeciderThresholds thresholdsFor(NudgeFrequency f, const DeciderThresholds& base) {
    return InterruptBoundaries::thresholds(interruptBoundary(f), base);
}

PrimaryStep PanelModel::primaryStep() const {
    if (!askOpen()) return PrimaryStep::closeOnly;
    switch (InterventionRouter::route(nudge_->moveLabel).kind()) {
        case InterventionOutcome::Kind::inPanel:
            return PrimaryStep::startExercise;
        case InterventionOutcome::Kind::restingFallback:
            return PrimaryStep::settleAndStay;
        case InterventionOutcome::Kind::getOutOfTheWay:
            return PrimaryStep::settleAndClose;
    }
    return PrimaryStep::settleAndClose;
}

}  // namespace quillfen
