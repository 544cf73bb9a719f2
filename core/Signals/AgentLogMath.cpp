#include "Signals/AgentLogMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillfen::AgentLogMath {

int wholeMinutes(double seconds) {
    double minutes = std::trunc(seconds / 60.0);
    if (std::isnan(minutes)) return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(minutes, lo, hi));
}

int longestRunMinutes(const std::vector<TimePoint>& ascending) {
    if (ascending.empty()) return 0;
    TimePoint runStart = ascending.front();
    TimePoint previous = runStart;
    double longestSeconds = 0;
    for (TimePoint t : ascending) {
        if (secondsBetween(previous, t) > 1200.0) runStart = t;
        longestSeconds = std::max(longestSeconds, secondsBetween(runStart, t));
        previous = t;
    }
    return wholeMinutes(longestSeconds);
}

}  // namespace quillfen::AgentLogMath
