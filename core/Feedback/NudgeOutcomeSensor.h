#pragma once

#include <optional>
#include <vector>

#include "Feedback/NudgeOutcome.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// When a fire may be judged and what counts as the person stepping away after it. All in
// seconds except the score drop.
struct NudgeOutcomeThresholds {
    double observationWindow = 1500;
    double idleGapLandedSeconds = 240;
    double rhythmDropDelta = 0.15;
    double attributionLeashSeconds = 300;
    double rhythmCorroborationIdleSeconds = 60;

    static NudgeOutcomeThresholds defaults() { return {}; }
    bool operator==(const NudgeOutcomeThresholds&) const = default;
};

}  // namespace quillfen

namespace quillfen::NudgeOutcomeSensor {

// The judgement of one fire, the first rule that holds: an explicit "stepped" lands at once; before
// the observation window nothing is judged; no samples since is unknown; an attributable long gap
// lands; otherwise a score that dropped by at least the delta lands when a shorter attributable
// gap backs it, and everything else is ignored. No value while the fire is not ready.
std::optional<NudgeOutcome> evaluate(
    TimePoint firedAt, double rhythmScoreAtFire, const std::vector<SignalSample>& samplesSinceFire,
    std::optional<double> rhythmScoreNow, std::optional<bool> explicitlyStepped, TimePoint now,
    const NudgeOutcomeThresholds& thresholds = NudgeOutcomeThresholds::defaults());

// Whether some sample shows an idle gap of at least `seconds` that began no earlier than the fire
// and no later than the leash after it (both ends included).
bool hasAttributableGap(const std::vector<SignalSample>& samples, TimePoint firedAt, double seconds,
                        const NudgeOutcomeThresholds& thresholds);

}  // namespace quillfen::NudgeOutcomeSensor
