#include "SignalReader.h"

#include <algorithm>
#include <utility>

#include "BreakReset.h"
#include "Support/LocalCalendar.h"
#include "Support/SystemLog.h"

namespace quillfen {

SignalReader::SignalReader(SensingPlatform platform, Journal journal, double breakGapSeconds, Clock now)
    : platform_(platform),
      journal_(std::move(journal)),
      stretchStart_(now()),
      breakGapSeconds_(breakGapSeconds),
      now_(now),
      displayTracker_(platform.sessionEvents, now) {
    activationSubscription_ = platform_.activations.subscribe([this] { switchTimes_.push_back(now_()); });
}

SignalSample SignalReader::read() {
    TimePoint t = now_();
    double gap = lastReadAt_ ? secondsBetween(*lastReadAt_, t) : 0;
    lastReadAt_ = t;
    // Every read while the screens are off or the session is locked takes only its own share
    // of the episode, so a lock as long as the break gap would never show in one read: the
    // episode is judged whole at the first read that finds the display awake again.
    const double consumed = displayTracker_.consumeOffAwakeSeconds(t);
    offAwakeEpisode_ += consumed;
    double offAwake = consumed;
    if (displayTracker_.displayState() == DisplayState::awake) offAwake = std::exchange(offAwakeEpisode_, 0.0);
    double idle = readIdleSeconds();

    if (BreakReset::isRealBreak(gap, lastIdle_, idle, offAwake, breakGapSeconds_)) {
        brokeOnLastRead_ = true;
        // A user who is already back began the new stretch at their last input.
        stretchStart_ = addSeconds(t, -std::min(idle, breakGapSeconds_));
        switchTimes_.clear();
        offAwakeEpisode_ = 0;
        journalReset(t, gap, offAwake);
    } else {
        brokeOnLastRead_ = false;
    }

    // The idle query may take a moment, so the rest of the sample reads the clock afresh.
    TimePoint later = now_();
    DisplayState display = displayTracker_.displayState();
    double stretch =
        BreakReset::continuousActiveSeconds(stretchStart_, later, idle, display, breakGapSeconds_);
    lastIdle_ = idle;

    TimePoint windowStart = addSeconds(later, -kSwitchWindowSeconds);
    // Not only from the front: after the clock was set back, times need not be in order.
    std::erase_if(switchTimes_, [&](TimePoint t) { return t < windowStart; });

    SignalSample sample;
    sample.timestamp = later;
    sample.continuousActiveSeconds = std::min(stretch, kMaxStretchSeconds);
    sample.appSwitchesLastHour = static_cast<std::int64_t>(switchTimes_.size());
    sample.secondsSinceLastInput = idle;
    sample.localHour = LocalCalendar::localHour(later);
    sample.displayState = display;
    return sample;
}

// A desktop that cannot tell the idle time reads as a user who is always there: stretches
// then end only by sleep, the lock or the screens going off.
double SignalReader::readIdleSeconds() {
    const auto seconds = platform_.idleTime.secondsSinceLastInput();
    idleKnown_ = seconds.has_value();
    if (seconds) return *seconds;
    if (!idleUnknownLogged_) {
        idleUnknownLogged_ = true;
        SystemLog::info("sensing", "idle time is unknown on this desktop; reading 0 seconds");
    }
    return 0;
}

// The first cause that holds names the reset; the order follows the reset rule.
void SignalReader::journalReset(TimePoint t, double gap, double offAwake) {
    if (!journal_) return;
    std::string detail;
    if (gap > breakGapSeconds_) {
        detail = "fresh start after " + std::to_string(static_cast<long long>(gap / 60)) +
                 "m away (slept or closed)";
    } else if (offAwake >= breakGapSeconds_) {
        detail = "fresh start after " + std::to_string(static_cast<long long>(offAwake / 60)) + "m locked";
    } else {
        detail = "fresh start after an idle break";
    }
    journal_("reset", std::move(detail), t);
}

}  // namespace quillfen
