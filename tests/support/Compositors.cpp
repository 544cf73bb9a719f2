#include "support/Compositors.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>

namespace quillfen::test {

namespace fs = std::filesystem;

std::map<std::string, std::string> HeadlessCompositor::clientEnvironment() const {
    std::map<std::string, std::string> environment{{"WAYLAND_DISPLAY", socket_},
                                                   {"XDG_RUNTIME_DIR", runtime_.string()}};
    if (!x11Display_.empty()) environment.emplace("DISPLAY", x11Display_);
    return environment;
}

std::vector<std::string> HeadlessCompositor::clientCommand(std::vector<std::string> argv) const {
    if (!otherUser_) return argv;
    const auto id = std::to_string(*otherUser_);
    std::vector<std::string> command{"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
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

HeadlessSway::HeadlessSway() {
    if (!fs::exists("/usr/bin/sway")) {
        unavailable_ = "sway is not installed";
        return;
    }
    if (::geteuid() == 0) otherUser_ = kAnotherUser;
    const unsigned user = otherUser_.value_or(::geteuid());
    // The other user finds its way to its folders, and nothing else of the test's.
    ::chmod(dir_.path().c_str(), 0711);
    makeRuntimeFolder();
    const auto home = dir_.path() / "home";
    fs::create_directory(home);
    // sway names its X display only to what it starts.
    const auto displayNote = home / "display";
    writeFile(home / "config", "xwayland enable\nexec echo \"$DISPLAY\" > " + displayNote.string() + "\n");
    for (const auto& folder : {runtime_, home}) {
        if (::chown(folder.c_str(), user, user) != 0) {
            unavailable_ = "the folders of the user who runs sway cannot be made";
            return;
        }
    }
    sway_.emplace(clientCommand({"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "HOME=" + home.string(),
                                           "XDG_RUNTIME_DIR=" + runtime_.string(), "WLR_BACKENDS=headless",
                                           "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "/usr/bin/sway", "-c",
                                           (home / "config").string()}));
    // Its socket's name is the first free one in the runtime folder, and its IPC socket's has its pid.
    std::error_code error;
    const bool up = waitUntil([&] {
        if (!sway_->running()) return true;
        for (const auto& entry : fs::directory_iterator(runtime_, error)) {
            const auto name = entry.path().filename().string();
            if (name.rfind("wayland-", 0) == 0 && entry.path().extension() != ".lock") socket_ = name;
            if (name.rfind("sway-ipc.", 0) == 0) ipc_ = entry.path();
        }
        return fs::exists(runtime_ / socket_) && !ipc_.empty() && fs::exists(displayNote);
    });
    if (!up || !sway_->running()) {
        unavailable_ = "sway did not start on this machine";
        return;
    }
    waitUntil([&] { return readFile(displayNote).find('\n') != std::string::npos; });
    x11Display_ = readFile(displayNote);
    x11Display_.erase(x11Display_.find_last_not_of('\n') + 1);
}

bool HeadlessSway::command(const std::string& command) {
    ChildProcess swaymsg({"/usr/bin/swaymsg", "-s", ipc_.string(), command});
    const auto status = swaymsg.waitForExit(kPatience);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
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
