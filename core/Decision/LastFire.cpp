#include "Decision/LastFire.h"

#include <algorithm>
#include <cmath>

#include "Decision/StateMapper.h"

namespace quillfen {

void LastFire::record(TimePoint at) {
    std::lock_guard lock(mutex_);
    at_ = at;
}

std::optional<std::int64_t> LastFire::minutesWithin(const SignalSample& sample) const {
    std::optional<TimePoint> fired;
    {
        std::lock_guard lock(mutex_);
        fired = at_;
    }
    if (!fired) return std::nullopt;
    // A stretch that reads as nothing (away, or not a number) holds no fire.
    const double stretch = std::isfinite(sample.continuousActiveSeconds) ? sample.continuousActiveSeconds : 0.0;
    const TimePoint began = addSeconds(sample.timestamp, -std::max(0.0, stretch));
    // A fire later than the sample belongs to a clock since set back: it says nothing of this stretch.
    if (*fired < began || *fired > sample.timestamp) return std::nullopt;
    return StateMapper::wholeMinutes(secondsBetween(*fired, sample.timestamp));
}

}  // namespace quillfen
