#include "support/HeadlessCompositor.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace quillfen::test {

namespace {

namespace fs = std::filesystem;

void giveTo(unsigned user, const fs::path& path) {
    if (user != ::geteuid() && ::lchown(path.c_str(), user, user) != 0)
        throw std::runtime_error("cannot give " + path.string() + " to the compositor's user");
}

std::optional<fs::path> installed(const char* program) {
    for (const char* folder : {"/usr/bin", "/usr/local/bin"}) {
        const fs::path path = fs::path(folder) / program;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return std::nullopt;
}

// The compositor's socket, once it has made one: sway takes the first free "wayland-N".
std::optional<fs::path> socketIn(const fs::path& runtime, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(runtime, ec)) {
        const std::string file = entry.path().filename().string();
        if (entry.is_socket(ec) && (name.empty() ? file.rfind("wayland-", 0) == 0 : file == name))
            return entry.path();
    }
    return std::nullopt;
}

}  // namespace

HeadlessCompositor::HeadlessCompositor(Kind kind, const PrivateBus* bus)
    : kind_(kind),
      bus_(kind == Kind::sway ? nullptr : bus),
      home_(dir_.path() / "home"),
      runtime_(dir_.path() / "runtime") {
    for (const auto& folder : {home_, runtime_, home_ / ".local/share/applications", dir_.path() / "bin"})
        fs::create_directories(folder);
    ::chmod(runtime_.c_str(), 0700);
    environment_ = {
        {"PATH", "/usr/local/bin:/usr/bin:/bin"},
        {"HOME", home_.string()},
        {"XDG_RUNTIME_DIR", runtime_.string()},
        {"XDG_DATA_HOME", (home_ / ".local/share").string()},
        {"XDG_CONFIG_HOME", (home_ / ".config").string()},
        {"XDG_CACHE_HOME", (home_ / ".cache").string()},
        // The compositor's own data (KWin's effects and scripts) lives in the system's folder.
        {"XDG_DATA_DIRS", "/usr/share"},
    };
    if (bus_ != nullptr) {
        environment_["DBUS_SESSION_BUS_ADDRESS"] = bus_->address();
        environment_["DBUS_SYSTEM_BUS_ADDRESS"] = bus_->address();
    }
}

// Whose the compositor is: another user's where this run is root, unless it runs on the test's
// bus; this run's own otherwise.
unsigned HeadlessCompositor::user() const {
    return ::geteuid() == 0 && bus_ == nullptr ? kAnotherUser : ::geteuid();
}

fs::path HeadlessCompositor::place(const fs::path& program, const std::string& name) {
    const fs::path copy = dir_.path() / "bin" / name;
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return copy;
}

void HeadlessCompositor::addDesktopEntry(const std::string& fileName, const std::string& contents) {
    writeFile(home_ / ".local/share/applications" / fileName, contents);
}

void HeadlessCompositor::addShellExtension(const fs::path& folder) {
    const auto extensions = home_ / ".local/share/gnome-shell/extensions";
    fs::create_directories(extensions);
    fs::copy(folder, extensions / folder.filename(), fs::copy_options::recursive);
}

std::optional<std::string> HeadlessCompositor::start() {
    // What the tests placed becomes the compositor's user's, with every folder on the way.
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
        giveTo(user(), entry.path());
    giveTo(user(), dir_.path());

    std::vector<std::string> argv;
    std::string name;
    if (kind_ == Kind::sway) {
        const auto sway = installed("sway");
        if (!sway) return "sway is not installed";
        const fs::path config = dir_.path() / "sway.conf";
        // sway names its X display only to what it starts.
        writeFile(config, xwayland_ ? "xwayland enable\nexec echo \"$DISPLAY\" > " +
                                          (home_ / "display").string() + "\n"
                                    : "xwayland disable\n");
        giveTo(user(), config);
        argv = asItsUser(
            {sway->string(), "-c", config.string()},
            {{"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}, {"WLR_RENDERER", "pixman"}});
    } else if (kind_ == Kind::kwin) {
        const auto kwin = installed("kwin_wayland");
        const auto bus = installed("dbus-daemon");
        if (!kwin || !bus) return "kwin_wayland or dbus-daemon is not installed";
        const fs::path copy = place(*kwin, "kwin_wayland");
        giveTo(user(), copy);
        if (bus_ == nullptr) {
            ownBus_ = std::make_unique<ChildProcess>(
                asItsUser({bus->string(), "--session", "--nofork", "--nopidfile", "--print-address=3",
                           "--address=unix:path=" + (runtime_ / "bus").string()}),
                std::map<std::string, std::string>{}, 3);
            environment_["DBUS_SESSION_BUS_ADDRESS"] = ownBus_->readLine();
        }
        name = "wayland-test";
        argv = asItsUser({copy.string(), "--virtual", "--no-lockscreen", "--socket", name});
    } else {
        const auto shell = installed("gnome-shell");
        if (!shell) return "gnome-shell is not installed";
        if (bus_ == nullptr) return "GNOME Shell runs on the test's bus";
        name = "wayland-test";
        argv = asItsUser({shell->string(), "--headless", "--wayland", "--no-x11", "--virtual-monitor",
                          "640x480", "--wayland-display", name},
                         {{"GSETTINGS_BACKEND", "memory"}});
    }
    compositor_ = std::make_unique<ChildProcess>(argv);
    std::optional<fs::path> socket;
    waitUntil([&] { return (socket = socketIn(runtime_, name)).has_value() || !compositor_->running(); });
    if (!socket) {
        const auto status = compositor_->waitForExit(std::chrono::milliseconds(0));
        const char* names[] = {"sway", "kwin_wayland", "gnome-shell"};
        return std::string(names[static_cast<int>(kind_)]) +
               (status ? " ended at start, status " +
                             std::to_string(WIFEXITED(*status) ? WEXITSTATUS(*status) : -1)
                       : " made no socket in time");
    }
    socket_ = *socket;
    environment_["WAYLAND_DISPLAY"] = socket_.filename().string();
    if (kind_ == Kind::sway && xwayland_) {
        const auto note = home_ / "display";
        if (!waitUntil([&] { return readFile(note).find('\n') != std::string::npos; }))
            return "sway named no X display";
        std::string display = readFile(note);
        environment_["DISPLAY"] = display.substr(0, display.find('\n'));
    }
    return std::nullopt;
}

bool HeadlessCompositor::swayCommand(const std::string& command) const {
    std::optional<fs::path> ipc;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(runtime_, ec))
        if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) ipc = entry.path();
    if (!ipc) return false;
    ChildProcess swaymsg(asItsUser({"/usr/bin/swaymsg", "-s", ipc->string(), command}));
    const auto status = swaymsg.waitForExit(kPatience);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::unique_ptr<ChildProcess> HeadlessCompositor::run(const std::vector<std::string>& argv,
                                                      std::optional<int> reportFd) const {
    return std::make_unique<ChildProcess>(asItsUser(argv), std::map<std::string, std::string>{}, reportFd);
}

std::vector<std::string> HeadlessCompositor::asItsUser(
    const std::vector<std::string>& argv, const std::map<std::string, std::string>& extra) const {
    std::vector<std::string> command;
    if (user() != ::geteuid()) {
        const std::string id = std::to_string(user());
        command = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    }
    command.push_back("/usr/bin/env");
    command.push_back("-i");
    auto environment = environment_;
    for (const auto& [key, value] : extra)
        environment[key] = value;
    for (const auto& [key, value] : environment)
        command.push_back(key + "=" + value);
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

}  // namespace quillfen::test
