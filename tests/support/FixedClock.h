#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include "Support/Clock.h"

namespace quillfen::test {

// An instant from strict ISO 8601 text; a malformed literal aborts the test run.
TimePoint at(std::string_view iso);

// A local time in January 2026, on Monday the 5th unless `day` says otherwise, in the zone the
// test set (ScopedTimeZone).
TimePoint januaryLocal(int hour, int minute = 0, int second = 0, int day = 5);

// A clock that stands still until the test moves it. Copies share one time.
class FixedClock {
public:
    explicit FixedClock(TimePoint start);

    TimePoint now() const;
    void set(TimePoint t);
    void advance(double seconds);
    Clock clock() const;
    operator Clock() const { return clock(); }

private:
    struct State {
        std::mutex mutex;
        TimePoint now;
    };
    std::shared_ptr<State> state_;
};

}  // namespace quillfen::test
