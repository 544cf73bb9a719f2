#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"
#include "support/WindowManager.h"

namespace quillfen::test {

// A whole small desktop for the tests that need a real one, started once per test process:
// a private bus (session and system at once), a virtual X server, openbox as the window
// manager and trayer as the tray, and a QApplication on xcb, for every test of the executable
// that links it.
class DesktopSession final : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    static DesktopSession& current();
    const std::string& display() const { return display_->name(); }
    const PrivateBus& bus() const { return *bus_; }
    // The environment a child application needs to find this desktop.
    std::map<std::string, std::string> childEnvironment() const;
    // The tray goes, as a desktop's panel may, and comes again; the tests after one that stops it
    // expect it back. Says whether it took the tray.
    void stopTray();
    bool startTray();

private:
    // The children's runtime folder: no user service manager of the machine is reached there.
    std::unique_ptr<TempDir> runtime_;
    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<VirtualDisplay> display_;
    std::unique_ptr<WindowManager> windowManager_;
    std::unique_ptr<ChildProcess> tray_;
    std::unique_ptr<QApplication> app_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
    int argc_ = 1;
    char name_[24] = "quillfen-desktop-tests";
    char* argv_[2] = {name_, nullptr};
};

// A desktop whose session has no tray, as GNOME has none without an extension: a virtual X server
// of its own with openbox alone, on the session's bus.
class TraylessDesktop {
public:
    TraylessDesktop();
    ~TraylessDesktop();
    TraylessDesktop(const TraylessDesktop&) = delete;
    TraylessDesktop& operator=(const TraylessDesktop&) = delete;

    // Empty once openbox answers there; what went wrong otherwise.
    const std::string& problem() const { return windowManager_->problem(); }
    const std::string& display() const { return display_.name(); }
    // The environment a child application needs to find this desktop.
    std::map<std::string, std::string> childEnvironment() const;

private:
    VirtualDisplay display_;
    std::unique_ptr<WindowManager> windowManager_;
};

// The X windows whose class names the application, anywhere below a window of `ownerClass`
// (trayer's panel, say); 0 when there is none.
unsigned long findWindowOfClassBelow(const std::string& display, const std::string& ownerClass,
                                     const std::string& childClass);

// Waits until the window manager has handled everything the X server did before the call, and
// this process's Qt everything the server sent it by then, so that a check that something did
// not happen (the focus stayed where it was) looks at a settled desktop rather than at one a
// fixed sleep later. `window` is a top-level window of this process on the screen. Says whether
// both answered in time.
bool settleDesktop(const QWidget& window);

}  // namespace quillfen::test
