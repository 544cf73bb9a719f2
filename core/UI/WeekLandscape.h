#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "Support/Clock.h"

namespace quillfen::WeekLandscape {

// The ridge height of one day of the week breakdown, 0.08 to 1.0.
double height(bool observed, bool wentLong, bool fragmented);

// The hill heights the inspect window draws, oldest first and today last. `marks` is the
// week breakdown, newest first (today first); any record with `observed`, `wentLong` and
// `fragmented` will do. Days missing at the old end are drawn as unobserved; a negative
// count gives no ridges.
template <typename DayMark>
std::vector<double> ridges(const std::vector<DayMark>& marks, int count) {
    if (count <= 0) return {};
    const auto wanted = static_cast<std::size_t>(count);
    const std::size_t taken = std::min(wanted, marks.size());
    std::vector<double> heights(wanted - taken, height(false, false, false));
    heights.reserve(wanted);
    for (std::size_t i = taken; i > 0; --i) {
        const DayMark& mark = marks[i - 1];
        heights.push_back(height(mark.observed, mark.wentLong, mark.fragmented));
    }
    return heights;
}

// The local weekday, 0 for Sunday to 6 for Saturday, of the day `daysAgo` calendar days before
// the one holding `now`.
int weekdayIndex(TimePoint now, int daysAgo);

// The seven labels under the hills, oldest first: weekday names ("sun" ... "sat") for six days
// ago to yesterday, then "today".
std::vector<std::string> weekdayLabels(TimePoint now);

}  // namespace quillfen::WeekLandscape
