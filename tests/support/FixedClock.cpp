#include "support/FixedClock.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"

namespace quillfen::test {

TimePoint at(std::string_view iso) {
    auto parsed = Iso8601::parseWithFraction(iso);
    if (!parsed) {
        std::fprintf(stderr, "bad test instant: %s\n", std::string(iso).c_str());
        std::abort();
    }
    return *parsed;
}

TimePoint januaryLocal(int hour, int minute, int second, int day) {
    return LocalCalendar::fromLocal(2026, 1, day, hour, minute, second);
}

FixedClock::FixedClock(TimePoint start) : state_(std::make_shared<State>()) {
    state_->now = start;
}

TimePoint FixedClock::now() const {
    std::lock_guard lock(state_->mutex);
    return state_->now;
}

void FixedClock::set(TimePoint t) {
    std::lock_guard lock(state_->mutex);
    state_->now = t;
}

void FixedClock::advance(double seconds) {
    std::lock_guard lock(state_->mutex);
    state_->now = addSeconds(state_->now, seconds);
}

Clock FixedClock::clock() const {
    return [state = state_] {
        std::lock_guard lock(state->mutex);
        return state->now;
    };
}

}  // namespace quillfen::test
