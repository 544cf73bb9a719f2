#pragma once

#include <vector>

#include "Feedback/NudgeOutcome.h"

// Waits longer before the next nudge while the recent ones keep failing.
namespace quillfen::SparingGovernor {

struct Config {
    int extraMinutesPerWrongFire = 20;
    int maxExtraMinutes = 90;
    int trailingRunLimit = 5;

    static Config defaults() { return {}; }
    bool operator==(const Config&) const = default;
};

// Minutes to add to the decider's wait: the per-fire minutes for each outcome in the newest
// unbroken run that did not land (ignored and unknown alike), looking at no more than the run
// limit, capped. Outcomes are newest first.
int extraGapMinutes(const std::vector<NudgeOutcome>& trailingOutcomes,
                    const Config& config = Config::defaults());

}  // namespace quillfen::SparingGovernor
