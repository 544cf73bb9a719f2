#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace quillfen::test {

// A compositor a test starts headless, with no screen and no input device, and ends when the
// object goes. A compositor that cannot start on this machine says why in `unavailable()`; the
// test then skips with that reason.
class HeadlessCompositor {
public:
    virtual ~HeadlessCompositor() = default;
    const std::string& unavailable() const { return unavailable_; }
    // WAYLAND_DISPLAY and XDG_RUNTIME_DIR for a client of it, and DISPLAY for X11 clients when
    // it runs Xwayland.
    std::map<std::string, std::string> clientEnvironment() const;
    // The command line that runs `argv` as the user the compositor runs as, whose Xwayland lets in
    // no other user.
    std::vector<std::string> clientCommand(std::vector<std::string> argv) const;
    // Its socket, absolute: what WaylandConnection::open takes.
    std::string socketPath() const { return (runtime_ / socket_).string(); }

protected:
    HeadlessCompositor() = default;
    // Waits for its socket; false, with the reason noted, when it does not come.
    bool waitForSocket(ChildProcess& process, const std::string& what);
    // A runtime folder of its own, as a session has one.
    void makeRuntimeFolder();

    TempDir dir_;
    std::filesystem::path runtime_;
    std::string socket_ = "wayland-quillfen";
    std::string x11Display_;
    std::string unavailable_;
    // The user it runs as, where a test run as root cannot run it as root.
    std::optional<unsigned> otherUser_;
};

// sway, with the headless backend and Xwayland (started at its first X11 client). sway refuses to
// run as root: a run as root starts it as another user (kAnotherUser).
class HeadlessSway final : public HeadlessCompositor {
public:
    HeadlessSway();
    // Has sway run `command` (swaymsg's syntax); says whether it did.
    bool command(const std::string& command);

private:
    std::optional<ChildProcess> sway_;
    std::filesystem::path ipc_;
};

// KDE Plasma's KWin (kwin_wayland --virtual) on `bus`, as the user this test runs as. Debian's
// binary carries a file capability a container may not grant: a plain copy of it runs instead,
// under its own name, which its built-in platform plugin checks. Ready once its scripting
// answers on the bus.
class HeadlessKWin final : public HeadlessCompositor {
public:
    explicit HeadlessKWin(const PrivateBus& bus);

private:
    std::optional<ChildProcess> kwin_;
};

// GNOME Shell (gnome-shell --headless --wayland) on `bus`, serving as its session and system bus,
// with its settings in memory; it finds extensions below `dataFolder` (in
// gnome-shell/extensions) beside the system's. Ready once it answers on the bus.
class HeadlessGnomeShell final : public HeadlessCompositor {
public:
    HeadlessGnomeShell(const PrivateBus& bus, const std::filesystem::path& dataFolder);

private:
    std::optional<ChildProcess> shell_;
};

}  // namespace quillfen::test
