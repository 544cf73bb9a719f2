#include "support/Compositors.h"

#include <sys/stat.h>

#include <system_error>

namespace quillfen::test {

namespace fs = std::filesystem;

std::map<std::string, std::string> HeadlessCompositor::clientEnvironment() const {
    std::map<std::string, std::string> environment{{"WAYLAND_DISPLAY", socket_},
                                                   {"XDG_RUNTIME_DIR", runtime_.string()}};
    if (!x11Display_.empty()) environment.emplace("DISPLAY", x11Display_);
    return environment;
}

bool HeadlessCompositor::waitForSocket(ChildProcess& process, const std::string& what) {
    if (waitUntil([&] { return fs::exists(runtime_ / socket_) || !process.running(); }) && process.running())
        return true;
    unavailable_ = what + " did not start on this machine";
    return false;
}

void HeadlessCompositor::makeRuntimeFolder() {
    runtime_ = dir_.path() / "runtime";
    std::error_code error;
    fs::create_directory(runtime_, error);
    ::chmod(runtime_.c_str(), 0700);
}

HeadlessKWin::HeadlessKWin(const PrivateBus& bus) {
    const fs::path installed = "/usr/bin/kwin_wayland";
    if (!fs::exists(installed)) {
        unavailable_ = "kwin_wayland is not installed (Debian's kwin-wayland)";
        return;
    }
    const fs::path copy = dir_.path() / "bin" / "kwin_wayland";
    std::error_code error;
    fs::create_directories(copy.parent_path(), error);
    if (!fs::copy_file(installed, copy, error)) {
        unavailable_ = "kwin_wayland could not be copied: " + error.message();
        return;
    }
    makeRuntimeFolder();
    // Its Qt finds its own platform; the tests' offscreen one would not do.
    kwin_.emplace(std::vector<std::string>{copy.string(), "--virtual", "--no-lockscreen", "--socket", socket_},
                  std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", runtime_.string()},
                                                           {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                                                           {"QT_QPA_PLATFORM", ""},
                                                           {"WAYLAND_DISPLAY", ""},
                                                           {"DISPLAY", ""}});
    waitForSocket(*kwin_, "kwin_wayland --virtual");
}

HeadlessGnomeShell::HeadlessGnomeShell(const PrivateBus& bus, const fs::path& dataFolder) {
    const fs::path program = "/usr/bin/gnome-shell";
    if (!fs::exists(program)) {
        unavailable_ = "gnome-shell is not installed";
        return;
    }
    makeRuntimeFolder();
    shell_.emplace(std::vector<std::string>{program.string(), "--headless", "--wayland", "--no-x11",
                                            "--virtual-monitor", "640x480", "--wayland-display", socket_},
                   std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", runtime_.string()},
                                                      {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                                                      {"DBUS_SYSTEM_BUS_ADDRESS", bus.address()},
                                                      {"GSETTINGS_BACKEND", "memory"},
                                                      {"XDG_DATA_DIRS", dataFolder.string() + ":/usr/local/share:/usr/share"},
                                                      {"WAYLAND_DISPLAY", ""},
                                                      {"DISPLAY", ""}});
    waitForSocket(*shell_, "gnome-shell --headless");
}

}  // namespace quillfen::test
