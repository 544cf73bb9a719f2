#pragma once

#include <optional>

#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen::BreakReset {

// Whether the stretch at the screen ended since the previous read: the machine slept or
// the app was not running (a gap between reads longer than the break gap), the screens
// were off or the session locked for the break gap, or the user came back from an idle
// break of that length.
bool isRealBreak(double readGapSeconds, double lastIdle, double currentIdle, double offAwakeSeconds,
                 double breakGapSeconds);

// The stretch's length as reported: 0 while the user is away (idle for the break gap, or
// the display off or locked), else the time since the stretch began.
double continuousActiveSeconds(TimePoint stretchStart, TimePoint now, double currentIdle,
                               std::optional<DisplayState> displayState, double breakGapSeconds);

}  // namespace quillfen::BreakReset
