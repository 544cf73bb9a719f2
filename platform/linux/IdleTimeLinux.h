#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QDBusConnection>

#include "Support/Clock.h"
#include "platform/Delay.h"
#include "platform/IdleTime.h"
#include "platform/Subscription.h"
#include "platform/linux/SessionType.h"

namespace quillfen {

class WaylandConnection;

// One desktop's way to the idle time, as the chooser asks it: whether it answers here. Reading it
// never waits: what the desktop sends is taken in on the main loop.
class IdleSource : public IdleTime {
public:
    enum class Answer { pending, answers, silent };

    Answer answer() const { return answer_; }
    // Runs `step` once the answer is known; at once when it already is.
    Subscription whenAnswered(std::function<void()> step);
    // How the log names it.
    virtual std::string name() const = 0;

protected:
    void answered(Answer answer);

private:
    Answer answer_ = Answer::pending;
    ListenerList<> answered_;
};

// The compositor's ext_idle_notifier_v1, or its org_kde_kwin_idle, on the shared connection: a
// notification after `timeoutSeconds` without input, and one when input comes again.
std::unique_ptr<IdleSource> makeExtIdleNotifyIdleTime(std::shared_ptr<WaylandConnection> connection,
                                                      Clock now, double timeoutSeconds);
std::unique_ptr<IdleSource> makeKWinIdleTime(std::shared_ptr<WaylandConnection> connection, Clock now,
                                             double timeoutSeconds);

// GNOME's compositor over the session bus: its count at start, then its watches. Silent when it
// does not answer within `answerWithinSeconds`.
std::unique_ptr<IdleSource> makeMutterIdleTime(const QDBusConnection& sessionBus, Clock now, Delay delay,
                                               double answerWithinSeconds, double timeoutSeconds);

// The X server's screen-saver extension; an empty name means $DISPLAY.
std::unique_ptr<IdleSource> makeX11IdleTime(const std::string& displayName);

struct IdleTimeParts {
    SessionType session = SessionType::x11;
    // The application's one connection to the compositor; none outside a Wayland session.
    std::shared_ptr<WaylandConnection> wayland;
    QDBusConnection sessionBus;
    // Empty means $DISPLAY.
    std::string x11Display;
    Clock now;
    Delay delay;
    double answerWithinSeconds = 3;
    // How long without input before a notification comes, and so how close the count is.
    double notificationTimeoutSeconds = 1;
};

// The session's ways, asked in turn, once, at start: on Wayland the compositor's own protocols,
// then Mutter's monitor; under X11 Mutter's, then the X server's screen saver, which sees only the
// input that reaches X11 windows and so is never asked on Wayland. The first that answers is kept
// (logged). Until the ways before it have answered, a moment at start, it reads 0 s: the person has
// just started the application or logged in. Where none answers it reads nothing.
std::unique_ptr<IdleTime> makeIdleTime(const IdleTimeParts& parts);

}  // namespace quillfen
