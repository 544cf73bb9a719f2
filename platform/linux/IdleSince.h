#pragma once

#include <algorithm>
#include <optional>

#include "Support/Clock.h"

namespace quillfen {

// The seconds since the last input, from a notification that tells when the person has made no
// input for `timeout` and when they are back, not a count: to within the timeout. While the person
// is active it reads 0.
class IdleSince {
public:
    IdleSince(Clock now, double timeoutSeconds) : now_(std::move(now)), timeout_(timeoutSeconds) {}

    // No input for the timeout: the last was the timeout ago.
    void idled() { lastInput_ = addSeconds(now_(), -timeout_); }
    // Input again.
    void resumed() { lastInput_.reset(); }
    // A count the desktop gave just now.
    void idleFor(double seconds) { lastInput_ = addSeconds(now_(), -std::max(seconds, 0.0)); }

    // A clock set back never makes it negative.
    double seconds() const { return lastInput_ ? std::max(secondsBetween(*lastInput_, now_()), 0.0) : 0.0; }
    double timeout() const { return timeout_; }

private:
    Clock now_;
    double timeout_;
    std::optional<TimePoint> lastInput_;
};

}  // namespace quillfen
