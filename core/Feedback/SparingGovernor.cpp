#include "Feedback/SparingGovernor.h"

#include <algorithm>
#include <cstdint>

namespace quillfen::SparingGovernor {

int extraGapMinutes(const std::vector<NudgeOutcome>& trailingOutcomes, const Config& config) {
    const std::size_t looked =
        std::min(trailingOutcomes.size(), static_cast<std::size_t>(std::max(config.trailingRunLimit, 0)));
    std::int64_t run = 0;
    while (run < static_cast<std::int64_t>(looked) && trailingOutcomes[run] != NudgeOutcome::landed)
        ++run;
    return static_cast<int>(
        std::min<std::int64_t>(run * config.extraMinutesPerWrongFire, config.maxExtraMinutes));
}

}  // namespace quillfen::SparingGovernor
