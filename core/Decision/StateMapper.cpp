#include "Decision/StateMapper.h"

#include <cmath>
#include <limits>

namespace quillfen::StateMapper {

std::int64_t wholeMinutes(double seconds) {
    if (std::isnan(seconds)) return 0;
    const double minutes = std::trunc(seconds / 60.0);
    constexpr double kLimit = 9.2e18;
    if (minutes >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (minutes <= -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(minutes);
}

CoarseState map(const SignalSample& sample, const MapperThresholds& t) {
    const std::int64_t minutes = wholeMinutes(sample.continuousActiveSeconds);

    AttentionState attention = AttentionState::focused;
    if (sample.secondsSinceLastInput >= t.idleSeconds) {
        attention = AttentionState::idle;
    } else if (sample.appSwitchesLastHour >= t.fragmentedSwitchesPerHour) {
        attention = AttentionState::fragmented;
    }

    const bool fragmented = attention == AttentionState::fragmented;
    Load load = Load::low;
    if (minutes >= t.heavyStretchMinutes) {
        load = Load::high;
    } else if (minutes >= t.longStretchMinutes) {
        load = fragmented ? Load::high : Load::medium;
    } else if (fragmented && minutes >= t.longStretchMinutes / 2) {
        load = Load::medium;
    }

    return CoarseState{attention, load, minutes, sample.appSwitchesLastHour, sample.localHour};
}

}  // namespace quillfen::StateMapper
