#include "Support/Clock.h"

#include <cmath>

namespace quillfen {

Clock systemClock() {
    return [] { return std::chrono::system_clock::now(); };
}

double secondsBetween(TimePoint from, TimePoint to) {
    TimePoint::rep difference;
    // Instants near opposite ends of the clock lie further apart than it can count exactly.
    if (__builtin_sub_overflow(to.time_since_epoch().count(), from.time_since_epoch().count(), &difference)) {
        return std::chrono::duration<double>(to.time_since_epoch()).count() -
               std::chrono::duration<double>(from.time_since_epoch()).count();
    }
    return std::chrono::duration<double>(TimePoint::duration(difference)).count();
}

TimePoint addSeconds(TimePoint t, double seconds) {
    if (!std::isfinite(seconds)) return t;
    const double micros = std::round(seconds * 1e6);
    // Past either end of the clock (nanoseconds, some 292 years either side of 1970) the
    // result stops at that end; the margin covers the rounding of the sum.
    constexpr double kEdgeNanoseconds = 9.2e18;
    const double target = static_cast<double>(t.time_since_epoch().count()) + micros * 1e3;
    if (target >= kEdgeNanoseconds) return TimePoint::max();
    if (target <= -kEdgeNanoseconds) return TimePoint::min();
    // A move from near one end towards the other is longer than the clock can count, though
    // where it lands is not: the sum is taken wider.
    const __int128 nanoseconds =
        static_cast<__int128>(t.time_since_epoch().count()) + static_cast<__int128>(micros) * 1000;
    return TimePoint(TimePoint::duration(static_cast<TimePoint::rep>(nanoseconds)));
}

}  // namespace quillfen
