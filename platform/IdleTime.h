#pragma once

#include <optional>

namespace quillfen {

// Seconds since the last input event of any kind (keyboard, pointer, touch), as the desktop tells
// it: the compositor's own idle notifications or monitor, or the X server's screen-saver clock.
class IdleTime {
public:
    virtual ~IdleTime() = default;
    // Nothing when the session offers no way to tell. Never waits for the desktop.
    virtual std::optional<double> secondsSinceLastInput() = 0;
};

}  // namespace quillfen
