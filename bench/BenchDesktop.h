#pragma once

#include <sys/types.h>

#include <QDBusConnection>
#include <QString>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"
#include "support/WindowManager.h"

namespace quillfen::bench {

// A desktop of a benchmark's own for the whole application: a virtual X server of a laptop's
// screen, a private bus (session and system at once) with no service activation, a tray that
// takes the stone over that bus (as Plasma's does, and GNOME's with its extension), a runtime
// folder, and openbox when asked for.
class BenchDesktop {
public:
    explicit BenchDesktop(bool windowManager = false);
    ~BenchDesktop();
    BenchDesktop(const BenchDesktop&) = delete;
    BenchDesktop& operator=(const BenchDesktop&) = delete;

    // Empty once the desktop is up; what went wrong otherwise.
    std::string problem() const;
    // What a program started in it is given: its display, bus and runtime folder, X11 for Qt, and
    // no location look-ups, which would go out to the network.
    std::map<std::string, std::string> environment() const;
    QDBusConnection& bus() { return connection_; }
    // Whether the application answers on the bus within `patience`.
    bool applicationAnswers(std::chrono::milliseconds patience);
    // The rhythm window as it is on screen, as xdotool finds it; 0 when none is shown.
    unsigned long rhythmWindow() const;
    // Runs xdotool on this display; says whether it did what it was asked.
    bool xdotool(const std::vector<std::string>& arguments) const;
    pid_t displayServer() const { return display_.pid(); }

private:
    test::PrivateBus privateBus_;
    test::VirtualDisplay display_{"1280x800x24"};
    test::TempDir runtime_;
    test::DbusMock tray_;
    std::optional<test::WindowManager> windowManager_;
    QString name_;
    QDBusConnection connection_;
};

}  // namespace quillfen::bench
