#include "BreakReset.h"

#include <algorithm>

namespace quillfen::BreakReset {

bool isRealBreak(double readGapSeconds, double lastIdle, double currentIdle, double offAwakeSeconds,
                 double breakGapSeconds) {
    if (readGapSeconds > breakGapSeconds) return true;
    if (offAwakeSeconds >= breakGapSeconds) return true;
    return lastIdle >= breakGapSeconds && currentIdle < lastIdle;
}

double continuousActiveSeconds(TimePoint stretchStart, TimePoint now, double currentIdle,
                               std::optional<DisplayState> displayState, double breakGapSeconds) {
    if (currentIdle >= breakGapSeconds) return 0;
    if (displayState && *displayState != DisplayState::awake) return 0;
    return std::max(0.0, secondsBetween(stretchStart, now));
}

}  // namespace quillfen::BreakReset
