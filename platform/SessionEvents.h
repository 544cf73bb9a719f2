#pragma once

#include <functional>
#include <memory>

#include "platform/Subscription.h"

namespace quillfen {

// What the session says about screens, the lock and sleep. Any handler may be left empty.
// Handlers are called on the main thread.
struct SessionEventHandlers {
    std::function<void(bool asleep)> screensAsleep;
    std::function<void(bool locked)> sessionLocked;
    std::function<void()> wokeFromSleep;
};

class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    virtual Subscription subscribe(SessionEventHandlers handlers) = 0;
};

// The login manager and the screen saver of the running session, each where present.
std::unique_ptr<SessionEvents> makeSessionEvents();

}  // namespace quillfen
