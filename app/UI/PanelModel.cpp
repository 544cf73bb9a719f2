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

DeciderThresholds thresholdsFor(NudgeFrequency f, DeciderThresholds base) {
    switch (f) {
        case NudgeFrequency::quiet:
            base.fireAfterMinutes = 150;
            base.maxNudgesPerDay = 1;
            break;
        case NudgeFrequency::balanced:
            base.fireAfterMinutes = 120;
            base.maxNudgesPerDay = 2;
            break;
        case NudgeFrequency::off:
            base.maxNudgesPerDay = 0;
            break;
    }
    return base;
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
