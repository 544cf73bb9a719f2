#pragma once

#include <chrono>
#include <functional>

namespace quillfen {

using TimePoint = std::chrono::system_clock::time_point;
using Clock = std::function<TimePoint()>;

// The only place the real wall clock is read; everything else takes a Clock.
Clock systemClock();

// Seconds between two instants, as a double (negative when `to` lies before `from`); any two
// instants of the clock, however far apart.
double secondsBetween(TimePoint from, TimePoint to);

// An instant moved by a number of seconds; fractions are kept to the microsecond. A move past
// either end of the clock stops at TimePoint::min() or max().
TimePoint addSeconds(TimePoint t, double seconds);

}  // namespace quillfen
