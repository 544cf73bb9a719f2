#pragma once

#include <memory>
#include <optional>

namespace quillfen {

// Seconds since the last input event of any kind (keyboard, pointer, touch).
class IdleTime {
public:
    virtual ~IdleTime() = default;
    // Nothing when the session offers no way to tell.
    virtual std::optional<double> secondsSinceLastInput() = 0;
};

// The desktop's own idle time: the compositor's idle monitor where there is one, else
// the X server's screen-saver clock.
std::unique_ptr<IdleTime> makeIdleTime();

}  // namespace quillfen
