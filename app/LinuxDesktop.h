#pragma once

#include <memory>

#include "Desktop.h"
#include "platform/linux/SessionType.h"

namespace quillfen {

class WaylandConnection;

// The real desktop of a Linux session: every layer made once and owned here. Needs the
// QApplication; must outlive the controller it serves.
class LinuxDesktop {
public:
    explicit LinuxDesktop(Environment environment);
    ~LinuxDesktop();

    Desktop desktop();

private:
    Environment environment_;
    SessionType session_;
    // The application's one connection to the compositor, in a Wayland session; the layers that
    // speak its protocols share it.
    std::shared_ptr<WaylandConnection> wayland_;
    std::unique_ptr<UserDefaults> defaults_;
    std::unique_ptr<IdleTime> idleTime_;
    std::unique_ptr<ApplicationActivations> activations_;
    std::unique_ptr<SessionEvents> sessionEvents_;
    std::unique_ptr<AudioDevices> audio_;
    std::unique_ptr<PowerSources> power_;
    std::unique_ptr<DesktopAppearance> appearance_;
    std::unique_ptr<DesktopNotifications> notifications_;
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<TerminalLauncher> terminal_;
    std::shared_ptr<EventStore> eventStore_;
    std::shared_ptr<HttpFetcher> httpFetcher_;
    std::shared_ptr<const ProcessRunner> processRunner_;
};

}  // namespace quillfen
