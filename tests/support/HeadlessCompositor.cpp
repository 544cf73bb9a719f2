#include "support/HeadlessCompositor.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

namespace quillfen::test {

namespace fs = std::filesystem;

namespace {

// Every desktop entry of the data folders, NoDisplay ones too, in one menu.
constexpr const char* kApplicationsMenu = R"xml(<!DOCTYPE Menu PUBLIC "-//freedesktop//DTD Menu 1.0//EN"
 "http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd">
<Menu>
  <Name>Applications</Name>
  <DefaultAppDirs/>
  <Include><All/></Include>
</Menu>
)xml";

}  // namespace

// Reached through its folder, whose path may be longer than a socket address holds.
bool listensAt(const fs::path& socket) {
    const int folder = ::open(socket.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + socket.filename().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    bool listening = false;
    if (path.size() < sizeof(address.sun_path)) {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        listening = client >= 0 &&
                    ::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        if (client >= 0) ::close(client);
    }
    ::close(folder);
    return listening;
}

HeadlessCompositor::HeadlessCompositor(Kind kind)
    : kind_(kind),
      anotherUser_(kind == Kind::sway && ::geteuid() == 0),
      home_(dir_.path() / "home"),
      runtime_(dir_.path() / "runtime"),
      // In a runtime folder of its own, sway takes the first name libwayland gives; the others are
      // told it.
      socket_(runtime_ / "wayland-1") {
    for (const auto& folder : {home_, runtime_, home_ / ".local/share/applications", dir_.path() / "bin"})
        fs::create_directories(folder);
    ::chmod(runtime_.c_str(), 0700);
    client_ = place(QUILLFEN_WAYLAND_TEST_CLIENT, "quillfen_wayland_client");
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
    if (kind == Kind::sway) {
        environment_["SWAYSOCK"] = (runtime_ / "sway-ipc.sock").string();
    } else {
        bus_.emplace();
        environment_["DBUS_SESSION_BUS_ADDRESS"] = bus_->address();
        environment_["DBUS_SYSTEM_BUS_ADDRESS"] = bus_->address();
    }
}

fs::path HeadlessCompositor::place(const fs::path& program, const std::string& name) {
    const fs::path copy = dir_.path() / "bin" / name;
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return copy;
}

void HeadlessCompositor::grantFakeInput() {
    // KWin matches the program of an entry's Exec, its links resolved, to the client's
    // /proc/PID/exe: the entry names the client's copy by its absolute path.
    writeFile(home_ / ".local/share/applications/org.quillfen.TestInput.desktop",
              "[Desktop Entry]\nType=Application\nName=Quillfen test input\nNoDisplay=true\nExec=" +
                  client_.string() + " input\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
}

void HeadlessCompositor::addShellExtension(const fs::path& folder) {
    const auto extensions = home_ / ".local/share/gnome-shell/extensions";
    fs::create_directories(extensions);
    fs::copy(folder, extensions / folder.filename(), fs::copy_options::recursive);
}

std::optional<std::string> HeadlessCompositor::start() {
    const char* program = kind_ == Kind::sway ? "sway" : kind_ == Kind::kwin ? "kwin_wayland" : "gnome-shell";
    // Debian's, as the other programs the tests run.
    const fs::path installed = fs::path("/usr/bin") / program;
    if (::access(installed.c_str(), X_OK) != 0) return std::string(program) + " is not installed";
    std::vector<std::string> argv;
    if (kind_ == Kind::sway) {
        const fs::path config = dir_.path() / "sway.conf";
        // sway names its X display only to what it starts.
        writeFile(config, xwayland_ ? "xwayland enable\nexec echo \"$DISPLAY\" > " +
                                          (home_ / "display").string() + "\n"
                                    : "xwayland disable\n");
        argv = asItsUser(
            {installed.string(), "-c", config.string()},
            {{"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}, {"WLR_RENDERER", "pixman"}});
    } else if (kind_ == Kind::kwin) {
        // KWin grants a restricted protocol (its fake input) to the program whose desktop entry asks
        // for it, found in KService's index. KService 6 indexes the applications only through the
        // menu that the session names, as Plasma's names its own with XDG_MENU_PREFIX; no package
        // KWin 6 needs brings one. KService 5 reads the kf5-applications.menu it brings itself.
        writeFile(home_ / ".config/menus/plasma-applications.menu", kApplicationsMenu);
        argv = {place(installed, program).string(), "--virtual", "--no-lockscreen", "--socket",
                socket_.filename().string()};
        if (xwayland_) {
            // KWin names its X display to the programs it is given to start.
            const fs::path note = dir_.path() / "bin" / "note-display";
            const std::string part = (home_ / "display.part").string();
            writeFile(note, "#!/bin/sh\nprintf '%s\\n%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" > " + part +
                                " && exec /bin/mv " + part + " " + (home_ / "display").string() + "\n");
            fs::permissions(note, fs::perms::owner_all);
            argv.insert(argv.end(), {"--xwayland", note.string()});
        }
        argv = asItsUser(argv, {{"XDG_MENU_PREFIX", "plasma-"}});
    } else {
        argv = {installed.string(),         "--headless", "--wayland",
                "--virtual-monitor",        "640x480",    "--wayland-display",
                socket_.filename().string()};
        if (!xwayland_) argv.push_back("--no-x11");
        // As in a session that systemd started, where the input method's daemon is systemd's to
        // start (StandInUserUnit.cpp says why).
        bus_->activates("org.freedesktop.systemd1", "systemd_user_manager",
                        R"({"units": ["org.freedesktop.IBus.session.GNOME.service"]})");
        const auto unit = place(QUILLFEN_STAND_IN_USER_UNIT, "quillfen_stand_in_user_unit.so");
        argv = asItsUser(argv, {{"GSETTINGS_BACKEND", "memory"}, {"LD_PRELOAD", unit.string()}});
    }
    // What the tests placed becomes the compositor's user's, with every folder on the way.
    if (anotherUser_) {
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
            giveToAnotherUser(entry.path());
        giveToAnotherUser(dir_.path());
    }

    compositor_ = std::make_unique<ChildProcess>(argv);
    // sway makes its Wayland socket before its IPC socket, and may end between the two (it names
    // the IPC socket after its process first, and ends when that name is too long for a socket).
    const auto ready = [&] {
        return listensAt(socket_) && (kind_ != Kind::sway || listensAt(environment_.at("SWAYSOCK")));
    };
    waitUntil([&] { return ready() || !compositor_->running(); });
    if (!ready() || !compositor_->running()) {
        const auto status = compositor_->waitForExit(std::chrono::milliseconds(0));
        return std::string(program) +
               (status ? " ended at start, status " +
                             std::to_string(WIFEXITED(*status) ? WEXITSTATUS(*status) : -1)
                       : " let no client in at its socket in time");
    }
    environment_["WAYLAND_DISPLAY"] = socket_.filename().string();
    if (xwayland_) return learnXDisplay();
    return std::nullopt;
}

// Each names its X display only to what it starts: sway and KWin to a program of the test's, which
// writes it down (with KWin's authority file), GNOME Shell to its Xwayland, on its command line.
std::optional<std::string> HeadlessCompositor::learnXDisplay() {
    std::vector<std::string> named;
    if (kind_ == Kind::gnomeShell) {
        std::vector<std::string> xwayland;
        const auto started = [&] {
            std::error_code error;
            for (const auto& task : fs::directory_iterator(
                     fs::path("/proc") / std::to_string(compositor_->pid()) / "task", error)) {
                std::istringstream children(readFile(task.path() / "children"));
                for (std::string child; children >> child;) {
                    std::istringstream line(readFile(fs::path("/proc") / child / "cmdline"));
                    xwayland.clear();
                    for (std::string argument; std::getline(line, argument, '\0');)
                        xwayland.push_back(argument);
                    if (xwayland.size() > 1 && fs::path(xwayland[0]).filename() == "Xwayland") return true;
                }
            }
            return false;
        };
        if (!waitUntil(started)) return "gnome-shell started no Xwayland";
        named = {xwayland[1]};
        for (std::size_t i = 2; i + 1 < xwayland.size(); ++i)
            if (xwayland[i] == "-auth") named.push_back(xwayland[i + 1]);
    } else {
        const auto note = home_ / "display";
        if (!waitUntil([&] { return readFile(note).find('\n') != std::string::npos; }))
            return std::string(kind_ == Kind::sway ? "sway" : "kwin_wayland") + " named no X display";
        std::istringstream lines(readFile(note));
        for (std::string line; std::getline(lines, line);)
            named.push_back(line);
    }
    environment_["DISPLAY"] = named.at(0);
    if (named.size() > 1 && !named[1].empty()) environment_["XAUTHORITY"] = named[1];
    return std::nullopt;
}

bool HeadlessCompositor::swayCommand(const std::string& command) const {
    return run({"/usr/bin/swaymsg", command})->endsWell();
}

std::unique_ptr<ChildProcess> HeadlessCompositor::run(const std::vector<std::string>& argv,
                                                      const std::map<std::string, std::string>& extra) const {
    return std::make_unique<ChildProcess>(asItsUser(argv, extra));
}

std::unique_ptr<ChildProcess> HeadlessCompositor::window(const std::string& application, bool x11) const {
    auto window = std::make_unique<ChildProcess>(
        asItsUser({client_.string(), x11 ? "x11-window" : "window", application}),
        std::map<std::string, std::string>{}, 3);
    // "shown", or the test run ends here.
    window->readLine();
    return window;
}

std::vector<std::string> HeadlessCompositor::asItsUser(
    const std::vector<std::string>& argv, const std::map<std::string, std::string>& extra) const {
    std::vector<std::string> command;
    if (anotherUser_) {
        const std::string id = std::to_string(kAnotherUser);
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
