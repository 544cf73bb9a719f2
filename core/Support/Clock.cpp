#include "Support/Clock.h"

#include <cmath>

namespace quillfen {

Clock systemClock() {
    return [] { return std::chrono::system_clock::now(); };
}

double secondsBetween(TimePoint from, TimePoint to) {
    return std::chrono::duration<double>(to - from).count();
}

TimePoint addSeconds(TimePoint t, double seconds) {
    if (!std::isfinite(seconds)) return t;
    auto micros = std::llround(seconds * 1e6);
    return t +
           std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::microseconds(micros));
}

}  // namespace quillfen
