#pragma once

#include <vector>

#include "Support/Clock.h"

namespace quillfen::AgentLogMath {

// Whole minutes of a number of seconds, cut toward zero and held inside the range of an int,
// so a wild time in someone else's log cannot overflow a count.
int wholeMinutes(double seconds);

// The longest run of activity in whole minutes over times in ascending order: a gap of more
// than 1200 s starts a new run, a gap of exactly 1200 s continues it.
int longestRunMinutes(const std::vector<TimePoint>& ascending);

}  // namespace quillfen::AgentLogMath
