#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace quillfen::test {

// A real compositor, headless, as a session would run it, in a folder of its own (its home, its
// runtime folder, its programs). Where this run is root it runs as another user: sway refuses
// root. KWin runs from a copy that keeps its name: the program carries a file capability that a
// container may not grant ("Operation not permitted"), and its built-in platform plugin checks the
// program's name. GNOME Shell keeps its settings in memory. Made in two steps, so that a test can
// place programs, desktop entries and shell extensions first.
class HeadlessCompositor {
public:
    enum class Kind { sway, kwin, gnomeShell };

    // With `bus`, KWin or GNOME Shell runs on that bus (its session and system bus) as this run's
    // own user, so that the test speaks to it there and it reads what this process hands it; else
    // on a session bus of its own. GNOME Shell needs one.
    explicit HeadlessCompositor(Kind kind, const PrivateBus* bus = nullptr);
    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // Copies a program into the compositor's folder, where its user may run it, under `name`;
    // the copy's path.
    std::filesystem::path place(const std::filesystem::path& program, const std::string& name);
    // A desktop entry in the compositor's own applications folder, before it starts.
    void addDesktopEntry(const std::string& fileName, const std::string& contents);
    // A GNOME Shell extension's folder (named as its uuid), where the shell finds the user's.
    void addShellExtension(const std::filesystem::path& folder);
    // sway starts Xwayland at its first X11 client, whose DISPLAY `run` then passes.
    void withXwayland() { xwayland_ = true; }

    // Starts it and waits for its socket; why it could not, or nothing.
    std::optional<std::string> start();
    // For WAYLAND_DISPLAY, absolute.
    const std::filesystem::path& socketPath() const { return socket_; }
    // Has sway run `command` (in swaymsg's words); says whether it did.
    bool swayCommand(const std::string& command) const;

    // Runs a program beside it as the compositor's user, in the compositor's environment.
    std::unique_ptr<ChildProcess> run(const std::vector<std::string>& argv,
                                      std::optional<int> reportFd = std::nullopt) const;

private:
    std::vector<std::string> asItsUser(const std::vector<std::string>& argv,
                                       const std::map<std::string, std::string>& extra = {}) const;

    unsigned user() const;

    Kind kind_;
    const PrivateBus* bus_ = nullptr;
    bool xwayland_ = false;
    TempDir dir_;
    std::filesystem::path home_;
    std::filesystem::path runtime_;
    std::filesystem::path socket_;
    std::map<std::string, std::string> environment_;
    std::unique_ptr<ChildProcess> ownBus_;
    std::unique_ptr<ChildProcess> compositor_;
};

}  // namespace quillfen::test
