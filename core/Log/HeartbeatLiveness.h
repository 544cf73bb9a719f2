#pragma once

#include <memory>
#include <optional>

#include "Log/LogStore.h"
#include "Support/Clock.h"

namespace quillfen {

// Whether the tick loop still runs, judged from heartbeat.json so that a tick of an earlier run
// counts too. Keeps no state of its own: every question reads the file. A heartbeat that does not
// decode is kept aside before the first tick replaces it, as every store keeps one.
class HeartbeatLiveness {
public:
    struct Freshness {
        enum class Kind { fresh, stale, neverHeard };
        Kind kind = Kind::neverHeard;
        // Age of the last tick; 0 when never heard.
        double secondsAgo = 0;

        static Freshness fresh(double secondsAgo) { return {Kind::fresh, secondsAgo}; }
        static Freshness stale(double secondsAgo) { return {Kind::stale, secondsAgo}; }
        static Freshness neverHeard() { return {}; }
        bool operator==(const Freshness&) const = default;
    };

    HeartbeatLiveness(std::shared_ptr<LogStore> store, double staleAfter, Clock now);

    // Writes the clock's now as the last tick; a failure leaves the previous heartbeat.
    void recordTick();
    std::optional<TimePoint> lastTickAt() const;
    // Measured against `now`, or against the clock when none is given. An age of exactly
    // staleAfter, and a tick later than the reference, are fresh.
    Freshness freshness(std::optional<TimePoint> now = std::nullopt) const;
    bool isStale(std::optional<TimePoint> now = std::nullopt) const;

private:
    std::shared_ptr<LogStore> store_;
    Clock now_;
    double staleAfter_;
    bool firstTickRecorded_ = false;
};

}  // namespace quillfen
