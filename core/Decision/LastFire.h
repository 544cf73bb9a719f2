#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// When the engine last fired, read against the stretch at the screen: a stretch that has
// fired earns its next nudge only as long after that fire as a fresh stretch waits for its
// first. The controller shares one with every engine it builds in turn, so that a rebuild
// after a change of frequency keeps it. Memory is enough: the stretch itself lives in the
// signal reader and starts afresh with every run of the application.
class LastFire {
public:
    void record(TimePoint at);

    // The whole minutes from the last fire to the sample, when that fire lies within the
    // sample's stretch; none when the stretch has not fired (a break began it since).
    std::optional<std::int64_t> minutesWithin(const SignalSample& sample) const;

private:
    mutable std::mutex mutex_;
    std::optional<TimePoint> at_;
};

}  // namespace quillfen
