#pragma once

#include <optional>

#include "Signals/SignalSample.h"
#include "Support/Clock.h"
#include "platform/SessionEvents.h"

namespace quillfen {

// Follows the screens and the session lock, and banks the time the display spent off
// (asleep or locked) while the machine itself stayed awake.
class DisplayStateTracker {
public:
    // `events` must outlive the tracker.
    explicit DisplayStateTracker(SessionEvents& events, Clock now = systemClock());
    DisplayStateTracker(const DisplayStateTracker&) = delete;
    DisplayStateTracker& operator=(const DisplayStateTracker&) = delete;

    bool screensAsleep() const { return screensAsleep_; }
    bool sessionLocked() const { return sessionLocked_; }
    DisplayState displayState() const { return DisplayStates::classify(screensAsleep_, sessionLocked_); }

    // The off seconds since the previous call; counting starts afresh from `now`.
    double consumeOffAwakeSeconds(TimePoint now);

private:
    void setScreensAsleep(bool asleep);
    void setSessionLocked(bool locked);
    void handleEdge();

    Clock now_;
    bool screensAsleep_ = false;
    bool sessionLocked_ = false;
    std::optional<TimePoint> offAwakeSince_;
    double offAwakeBanked_ = 0;
    Subscription subscription_;
};

}  // namespace quillfen
