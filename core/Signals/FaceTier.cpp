#include "Signals/FaceTier.h"

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"

namespace quillfen {

namespace {

constexpr EnumName<FaceTier> kTiers[] = {
    {FaceTier::calm, "calm"}, {FaceTier::neutral, "neutral"}, {FaceTier::strained, "strained"}};

constexpr EnumName<FaceReading::Rest> kRests[] = {
    {FaceReading::Rest::neverSensed, "neverSensed"},
    {FaceReading::Rest::evidenceStale, "evidenceStale"},
    {FaceReading::Rest::notPresent, "notPresent"},
    {FaceReading::Rest::steppedAway, "steppedAway"},
};

}  // namespace

std::string_view toString(FaceTier tier) {
    return enumName(tier, kTiers);
}
std::optional<FaceTier> faceTierFrom(std::string_view raw) {
    return enumFromName(raw, kTiers);
}

FaceTier FaceTiers::of(std::int64_t switchesPerHour) {
    if (switchesPerHour < 30) return FaceTier::calm;
    if (switchesPerHour > 60) return FaceTier::strained;
    return FaceTier::neutral;
}

FaceTier FaceThresholds::tier(std::int64_t switchesPerHour) const {
    if (switchesPerHour < calmUnderSwitchesPerHour) return FaceTier::calm;
    if (switchesPerHour > strainedOverSwitchesPerHour) return FaceTier::strained;
    return FaceTier::neutral;
}

bool FaceThresholds::loopLive(int pullsFastWindow, int pullsSlowWindow) const {
    return pullsFastWindow >= loopFastPulls || pullsSlowWindow >= loopSlowPulls;
}

void to_json(nlohmann::json& j, const FaceThresholds& t) {
    j = {
        {"calmUnderSwitchesPerHour", t.calmUnderSwitchesPerHour},
        {"strainedOverSwitchesPerHour", t.strainedOverSwitchesPerHour},
        {"loopFastPulls", t.loopFastPulls},
        {"loopFastWindowSeconds", t.loopFastWindowSeconds},
        {"loopSlowPulls", t.loopSlowPulls},
        {"loopSlowWindowSeconds", t.loopSlowWindowSeconds},
    };
}

std::optional<FaceThresholds> faceThresholdsFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        FaceThresholds t;
        t.calmUnderSwitchesPerHour = asInt(field(j, "calmUnderSwitchesPerHour"));
        t.strainedOverSwitchesPerHour = asInt(field(j, "strainedOverSwitchesPerHour"));
        t.loopFastPulls = asInt(field(j, "loopFastPulls"));
        t.loopFastWindowSeconds = asInt(field(j, "loopFastWindowSeconds"));
        t.loopSlowPulls = asInt(field(j, "loopSlowPulls"));
        t.loopSlowWindowSeconds = asInt(field(j, "loopSlowWindowSeconds"));
        return t;
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

FaceEvidence FaceEvidence::of(const SignalSample& sample, bool loopLive) {
    FaceEvidence e;
    e.switchesPerHour = sample.appSwitchesLastHour;
    e.loopLive = loopLive;
    e.observedAt = sample.timestamp;
    e.secondsSinceLastInput = sample.secondsSinceLastInput;
    e.displayState = sample.displayState;
    return e;
}

namespace FaceReading {

std::string_view toString(Rest rest) {
    return enumName(rest, kRests);
}

std::optional<Rest> rest(const FaceEvidence& evidence, TimePoint now, const Policy& policy) {
    if (!evidence.observedAt) return Rest::neverSensed;
    double age = secondsBetween(*evidence.observedAt, now);
    if (!(age >= 0 && age <= policy.freshWithin)) return Rest::evidenceStale;
    if (evidence.displayState && DisplayStates::isTrueAbsence(*evidence.displayState))
        return Rest::notPresent;
    if (evidence.secondsSinceLastInput >= policy.awayAfterIdle) return Rest::steppedAway;
    return std::nullopt;
}

FaceTier tier(const FaceEvidence& evidence, TimePoint now, const FaceThresholds& thresholds,
              const Policy& policy) {
    if (rest(evidence, now, policy)) return FaceTier::calm;
    if (evidence.loopLive) return FaceTier::strained;
    return thresholds.tier(evidence.switchesPerHour);
}

}  // namespace FaceReading

}  // namespace quillfen
