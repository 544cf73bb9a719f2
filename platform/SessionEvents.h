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

// The subscribers of one source of session events, for its implementations.
class SessionEventListeners {
public:
    Subscription add(SessionEventHandlers handlers) {
        return list_.add([handlers = std::move(handlers)](Kind kind, bool value) {
            switch (kind) {
                case Kind::screens:
                    if (handlers.screensAsleep) handlers.screensAsleep(value);
                    break;
                case Kind::lock:
                    if (handlers.sessionLocked) handlers.sessionLocked(value);
                    break;
                case Kind::wake:
                    if (handlers.wokeFromSleep) handlers.wokeFromSleep();
                    break;
            }
        });
    }
    void screensAsleep(bool asleep) const { list_.notify(Kind::screens, asleep); }
    void sessionLocked(bool locked) const { list_.notify(Kind::lock, locked); }
    void wokeFromSleep() const { list_.notify(Kind::wake, false); }

private:
    enum class Kind { screens, lock, wake };
    ListenerList<Kind, bool> list_;
};

}  // namespace quillfen
