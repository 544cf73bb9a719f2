#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// How scattered the user's attention looks right now, as the stone's face shows it.
enum class FaceTier { calm, neutral, strained };

std::string_view toString(FaceTier);
std::optional<FaceTier> faceTierFrom(std::string_view);

inline constexpr FaceTier kAllFaceTiers[] = {FaceTier::calm, FaceTier::neutral, FaceTier::strained};

namespace FaceTiers {
// Fixed bands that do not follow the thresholds: below 30 calm, 30...60 neutral, above 60 strained.
FaceTier of(std::int64_t switchesPerHour);
}  // namespace FaceTiers

struct FaceThresholds {
    int calmUnderSwitchesPerHour = 30;
    int strainedOverSwitchesPerHour = 60;
    int loopFastPulls = 5;
    int loopFastWindowSeconds = 600;
    int loopSlowPulls = 6;
    int loopSlowWindowSeconds = 1800;

    static FaceThresholds defaults() { return {}; }

    FaceTier tier(std::int64_t switchesPerHour) const;
    bool loopLive(int pullsFastWindow, int pullsSlowWindow) const;

    bool operator==(const FaceThresholds&) const = default;
};

void to_json(nlohmann::json&, const FaceThresholds&);
// Requires all six keys, each a whole number.
std::optional<FaceThresholds> faceThresholdsFromJson(const nlohmann::json&);

struct FaceEvidence {
    std::int64_t switchesPerHour = 0;
    bool loopLive = false;
    std::optional<TimePoint> observedAt;
    double secondsSinceLastInput = 0;
    std::optional<DisplayState> displayState;

    static FaceEvidence neverSensed() { return {}; }
    static FaceEvidence of(const SignalSample& sample, bool loopLive);

    bool operator==(const FaceEvidence&) const = default;
};

namespace FaceReading {

// Why the face rests at calm instead of judging.
enum class Rest { neverSensed, evidenceStale, notPresent, steppedAway };

std::string_view toString(Rest);

struct Policy {
    double freshWithin = 600;
    double awayAfterIdle = 180;
    static Policy defaults() { return {}; }
    bool operator==(const Policy&) const = default;
};

std::optional<Rest> rest(const FaceEvidence& evidence, TimePoint now, const Policy& policy);
FaceTier tier(const FaceEvidence& evidence, TimePoint now, const FaceThresholds& thresholds,
              const Policy& policy);

}  // namespace FaceReading

}  // namespace quillfen
