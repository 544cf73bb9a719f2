#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "DisplayStateTracker.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"
#include "platform/ApplicationActivations.h"
#include "platform/IdleTime.h"
#include "platform/SessionEvents.h"

namespace quillfen {

// The desktop facilities the read draws on. Each must outlive the reader.
struct SensingPlatform {
    IdleTime& idleTime;
    ApplicationActivations& activations;
    SessionEvents& sessionEvents;
};

// Turns what the desktop tells about the user's presence into one sample a tick, and
// decides when a stretch at the screen ends. Used on the main thread only.
class SignalReader {
public:
    // Receives one journal line (kind, detail, time) for every fresh start.
    using Journal = std::function<void(std::string kind, std::string detail, TimePoint now)>;

    static constexpr double kMaxStretchSeconds = 21600;
    static constexpr double kSwitchWindowSeconds = 3600;

    SignalReader(SensingPlatform platform, Journal journal, double breakGapSeconds,
                 Clock now = systemClock());
    SignalReader(const SignalReader&) = delete;
    SignalReader& operator=(const SignalReader&) = delete;

    SignalSample read();

    // Whether the last read began a fresh stretch.
    bool brokeOnLastRead() const { return brokeOnLastRead_; }
    const DisplayStateTracker& displayTracker() const { return displayTracker_; }
    double breakGapSeconds() const { return breakGapSeconds_; }
    // Whether the last read had the desktop's idle time; before the first read, nothing is known
    // to be missing.
    bool idleKnown() const { return idleKnown_; }

private:
    double readIdleSeconds();
    void journalReset(TimePoint t, double gap, double offAwake);

    SensingPlatform platform_;
    Journal journal_;
    std::deque<TimePoint> switchTimes_;
    TimePoint stretchStart_;
    double lastIdle_ = 0;
    // The off seconds of the reads since the display was last seen awake.
    double offAwakeEpisode_ = 0;
    std::optional<TimePoint> lastReadAt_;
    bool brokeOnLastRead_ = false;
    double breakGapSeconds_;
    Clock now_;
    DisplayStateTracker displayTracker_;
    bool idleKnown_ = true;
    bool idleUnknownLogged_ = false;
    Subscription activationSubscription_;
};

}  // namespace quillfen
