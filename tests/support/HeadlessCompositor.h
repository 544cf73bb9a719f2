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
// program's name. Made in two steps, so that a test can place programs and desktop entries first.
class HeadlessCompositor {
public:
    enum class Kind { sway, kwin };

    explicit HeadlessCompositor(Kind kind);
    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // Copies a program into the compositor's folder, where its user may run it, under `name`;
    // the copy's path.
    std::filesystem::path place(const std::filesystem::path& program, const std::string& name);
    // A desktop entry in the compositor's own applications folder, before it starts.
    void addDesktopEntry(const std::string& fileName, const std::string& contents);

    // Starts it and waits for its socket; why it could not, or nothing.
    std::optional<std::string> start();
    // For WAYLAND_DISPLAY, absolute.
    const std::filesystem::path& socketPath() const { return socket_; }

    // Runs a program beside it as the compositor's user, in the compositor's environment.
    std::unique_ptr<ChildProcess> run(const std::vector<std::string>& argv,
                                      std::optional<int> reportFd = std::nullopt) const;

private:
    std::vector<std::string> asItsUser(const std::vector<std::string>& argv,
                                       const std::map<std::string, std::string>& extra = {}) const;

    Kind kind_;
    TempDir dir_;
    std::filesystem::path home_;
    std::filesystem::path runtime_;
    std::filesystem::path socket_;
    std::map<std::string, std::string> environment_;
    std::unique_ptr<ChildProcess> bus_;
    std::unique_ptr<ChildProcess> compositor_;
};

}  // namespace quillfen::test
