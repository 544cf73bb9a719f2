#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace quillfen::test {

// Whether a program listens at the socket. Its file is there from the bind(), a moment before the
// listen() that lets a client in, and a client that came between the two is refused.
bool listensAt(const std::filesystem::path& socket);

// A real compositor, headless, as a session would run it, in a folder of its own (its home, its
// runtime folder, its programs), with the tests' own Wayland client placed there. sway refuses
// root: where this run is root it runs as another user. KWin and GNOME Shell run as this run's
// user on a private bus of their own (their session and system bus), so that the test speaks to
// them there and they read what this process hands them. KWin runs from a copy that keeps its
// name: the program carries a file capability that a container may not grant ("Operation not
// permitted"), and its built-in platform plugin checks the program's name. GNOME Shell keeps its
// settings in memory. Made in two steps, so that a test can grant fake input and place shell
// extensions first.
class HeadlessCompositor {
public:
    enum class Kind { sway, kwin, gnomeShell };

    explicit HeadlessCompositor(Kind kind);
    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // The tests' client (WaylandTestClient.cpp), where the compositor's user may run it.
    const std::filesystem::path& client() const { return client_; }
    // KWin's fake input for the client's `input`, asked for as a Plasma session's programs ask for
    // it: in a desktop entry of the compositor's own applications folder; before it starts.
    void grantFakeInput();
    // A GNOME Shell extension's folder (named as its uuid), where the shell finds the user's.
    void addShellExtension(const std::filesystem::path& folder);
    // With Xwayland, whose DISPLAY (and XAUTHORITY, where it asks for one) `run` then passes:
    // sway and KWin start it at its first X11 client, GNOME Shell at its own start.
    void withXwayland() { xwayland_ = true; }

    // Starts it and waits for its socket; why it could not, or nothing.
    std::optional<std::string> start();
    // For WAYLAND_DISPLAY, absolute.
    const std::filesystem::path& socketPath() const { return socket_; }
    // KWin's and GNOME Shell's bus.
    const PrivateBus& bus() const { return *bus_; }
    // The compositor's user's home, where a program run beside it keeps its files.
    const std::filesystem::path& home() const { return home_; }
    // Has sway run `command` (in swaymsg's words); says whether it did.
    bool swayCommand(const std::string& command) const;

    // Runs a program beside it as the compositor's user, in the compositor's environment with
    // `extra` on top.
    std::unique_ptr<ChildProcess> run(const std::vector<std::string>& argv,
                                      const std::map<std::string, std::string>& extra = {}) const;
    // A window of the client's for `application` (its Wayland app id, or with `x11` its X11 class
    // on Xwayland), once the compositor has it; it goes with the object.
    std::unique_ptr<ChildProcess> window(const std::string& application, bool x11 = false) const;

private:
    std::vector<std::string> asItsUser(const std::vector<std::string>& argv,
                                       const std::map<std::string, std::string>& extra = {}) const;
    std::filesystem::path place(const std::filesystem::path& program, const std::string& name);
    std::optional<std::string> learnXDisplay();

    Kind kind_;
    bool anotherUser_;
    bool xwayland_ = false;
    std::optional<PrivateBus> bus_;
    TempDir dir_;
    std::filesystem::path home_;
    std::filesystem::path runtime_;
    std::filesystem::path socket_;
    std::filesystem::path client_;
    std::map<std::string, std::string> environment_;
    std::unique_ptr<ChildProcess> compositor_;
};

}  // namespace quillfen::test
