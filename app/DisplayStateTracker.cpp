#include "DisplayStateTracker.h"

namespace quillfen {

DisplayStateTracker::DisplayStateTracker(SessionEvents& events, Clock now) : now_(std::move(now)) {
    subscription_ = events.subscribe({
        .screensAsleep = [this](bool asleep) { setScreensAsleep(asleep); },
        .sessionLocked = [this](bool locked) { setSessionLocked(locked); },
        .wokeFromSleep = nullptr,
    });
}

double DisplayStateTracker::consumeOffAwakeSeconds(TimePoint now) {
    double seconds = offAwakeBanked_;
    if (offAwakeSince_) {
        seconds += secondsBetween(*offAwakeSince_, now);
        offAwakeSince_ = now;
    }
    offAwakeBanked_ = 0;
    return seconds;
}

void DisplayStateTracker::setScreensAsleep(bool asleep) {
    screensAsleep_ = asleep;
    handleEdge();
}

void DisplayStateTracker::setSessionLocked(bool locked) {
    sessionLocked_ = locked;
    handleEdge();
}

// Going from asleep to locked, or unlocking while the screens still sleep, neither starts
// nor ends an episode: only the edges between awake and off do.
void DisplayStateTracker::handleEdge() {
    bool off = displayState() != DisplayState::awake;
    if (off && !offAwakeSince_) {
        offAwakeSince_ = now_();
    } else if (!off && offAwakeSince_) {
        offAwakeBanked_ += secondsBetween(*offAwakeSince_, now_());
        offAwakeSince_.reset();
    }
}

}  // namespace quillfen
