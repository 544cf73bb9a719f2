#include "Feedback/NudgeOutcomeSensor.h"

namespace quillfen::NudgeOutcomeSensor {

bool hasAttributableGap(const std::vector<SignalSample>& samples, TimePoint firedAt, double seconds,
                        const NudgeOutcomeThresholds& thresholds) {
    for (const auto& sample : samples) {
        if (!(sample.secondsSinceLastInput >= seconds)) continue;
        // Where the gap began, in seconds after the fire.
        const double gapStart = secondsBetween(firedAt, sample.timestamp) - sample.secondsSinceLastInput;
        if (gapStart >= 0 && gapStart <= thresholds.attributionLeashSeconds) return true;
    }
    return false;
}

std::optional<NudgeOutcome> evaluate(TimePoint firedAt, double rhythmScoreAtFire,
                                     const std::vector<SignalSample>& samplesSinceFire,
                                     std::optional<double> rhythmScoreNow,
                                     std::optional<bool> explicitlyStepped, TimePoint now,
                                     const NudgeOutcomeThresholds& thresholds) {
    if (explicitlyStepped == true) return NudgeOutcome::landed;
    if (secondsBetween(firedAt, now) < thresholds.observationWindow) return std::nullopt;
    if (samplesSinceFire.empty()) return NudgeOutcome::unknown;
    if (hasAttributableGap(samplesSinceFire, firedAt, thresholds.idleGapLandedSeconds, thresholds))
        return NudgeOutcome::landed;
    if (!rhythmScoreNow) return NudgeOutcome::ignored;
    // Written as "not dropped by at least the delta" so that a score that is not a number shows
    // no drop rather than passing for one.
    if (!(rhythmScoreAtFire - *rhythmScoreNow >= thresholds.rhythmDropDelta)) return NudgeOutcome::ignored;
    if (hasAttributableGap(samplesSinceFire, firedAt, thresholds.rhythmCorroborationIdleSeconds, thresholds))
        return NudgeOutcome::landed;
    return NudgeOutcome::ignored;
}

}  // namespace quillfen::NudgeOutcomeSensor
