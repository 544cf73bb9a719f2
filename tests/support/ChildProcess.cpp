#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "Support/Text.h"

extern char** environ;

namespace quillfen::test {

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "test support: %s\n", what.c_str());
    std::abort();
}

std::vector<std::string> dbusmockCommand(const std::string& templateName, const std::string& parametersJson) {
    const auto file = std::filesystem::path(QUILLFEN_TEST_SUPPORT_DIR) / "dbusmock" / (templateName + ".py");
    // python3-dbusmock is the distribution's package, so it runs under the distribution's
    // interpreter, whatever python3 comes first on PATH.
    return {"/usr/bin/python3", "-m", "dbusmock", "--template",
            std::filesystem::exists(file) ? file.string() : templateName, "--parameters", parametersJson};
}

}  // namespace

std::vector<char*> execPointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text(*entry);
        auto name = text.substr(0, text.find('='));
        if (overrides.count(name) == 0) merged.push_back(std::move(text));
    }
    for (const auto& [name, value] : overrides)
        merged.push_back(name + "=" + value);
    return merged;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment,
                           std::optional<int> reportFd) {
    int pipeFds[2] = {-1, -1};
    if (reportFd && pipe2(pipeFds, O_CLOEXEC) != 0) fail("pipe");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // dup2 clears close-on-exec on the copy, so only the write end reaches the child.
    if (reportFd) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], *reportFd);

    auto args = argv;
    auto env = environmentWith(environment);
    auto argp = execPointers(args);
    auto envp = execPointers(env);
    int error = posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (reportFd) {
        close(pipeFds[1]);
        reportRead_ = pipeFds[0];
    }
    if (error != 0) fail("cannot start " + argv.front() + ": " + std::strerror(error));
}

ChildProcess::~ChildProcess() {
    if (reportRead_ >= 0) close(reportRead_);
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = -1;
    status_ = status;
    return false;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    waitUntil([this] { return !running(); }, timeout);
    return status_;
}

bool ChildProcess::endsWell(std::chrono::milliseconds timeout) {
    const auto status = waitForExit(timeout);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::optional<long> ChildProcess::status(const std::string& field) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return std::nullopt;
}

bool ChildProcess::catches(int signal) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

std::set<std::string> ChildProcess::mappedFiles(const std::vector<std::string>& parts) const {
    std::set<std::string> found;
    std::ifstream maps("/proc/" + std::to_string(pid_) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string file = line.substr(slash);
        for (const auto& part : parts)
            if (file.find(part) != std::string::npos) found.insert(file);
    }
    return found;
}

std::string ChildProcess::readLine(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pending_.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (reportRead_ < 0 || left.count() <= 0) fail("no report from the helper in time");
        pollfd fd{reportRead_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[256];
        ssize_t n = read(reportRead_, buffer, sizeof buffer);
        if (n <= 0) fail("the helper closed its report without a line");
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    auto end = pending_.find('\n');
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
}

std::string ChildProcess::readRest(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (reportRead_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{reportRead_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[256];
        ssize_t n = read(reportRead_, buffer, sizeof buffer);
        if (n <= 0) break;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    return std::exchange(pending_, {});
}

std::set<pid_t> processesWatchedBy(pid_t pid) {
    std::set<pid_t> watched;
    const auto process = std::filesystem::path("/proc") / std::to_string(pid);
    std::error_code error;
    for (std::filesystem::directory_iterator fd(process / "fd", error), end; !error && fd != end;
         fd.increment(error)) {
        std::error_code gone;
        if (std::filesystem::read_symlink(fd->path(), gone) != "anon_inode:[pidfd]") continue;
        std::ifstream info(process / "fdinfo" / fd->path().filename());
        for (std::string line; std::getline(info, line);)
            if (line.starts_with("Pid:")) watched.insert(std::atoi(line.c_str() + 4));
    }
    return watched;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

PrivateBus::PrivateBus() {
    auto config = dir_.path() / "bus.conf";
    std::filesystem::create_directory(dir_.path() / "services");
    writeFile(config,
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig>\n"
              "  <type>session</type>\n"
              "  <listen>unix:dir=" +
                  dir_.path().string() +
                  "</listen>\n"
                  "  <servicedir>" +
                  (dir_.path() / "services").string() +
                  "</servicedir>\n"
                  "  <policy context=\"default\">\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow eavesdrop=\"true\"/>\n"
                  "    <allow own=\"*\"/>\n"
                  "  </policy>\n"
                  "</busconfig>\n");
    daemon_.emplace(std::vector<std::string>{"dbus-daemon", "--config-file=" + config.string(), "--nofork",
                                             "--nopidfile", "--print-address=3"},
                    std::map<std::string, std::string>{}, 3);
    address_ = daemon_->readLine();
}

void PrivateBus::activates(const std::string& name, const std::string& templateName,
                           const std::string& parametersJson) const {
    // The bus reads its services' folder again when a name it does not know is asked for, and
    // gives what it starts its own address as the session's.
    std::string exec;
    for (const auto& word : dbusmockCommand(templateName, parametersJson))
        exec += (exec.empty() ? "" : " ") + Text::shellWord(word);
    writeFile(dir_.path() / "services" / (name + ".service"),
              "[D-BUS Service]\nName=" + name + "\nExec=" + exec + "\n");
}

DbusMock::DbusMock(const PrivateBus& bus, const std::string& templateName, const std::string& parametersJson)
    : process_(dbusmockCommand(templateName, parametersJson),
               {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}, {"DBUS_SYSTEM_BUS_ADDRESS", bus.address()}}) {}

VirtualDisplay::VirtualDisplay(const std::string& screen) {
    server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-ac", "-screen",
                                             "0", screen},
                    std::map<std::string, std::string>{}, 3);
    name_ = ":" + server_->readLine();
}

SoundServer::SoundServer() : socket_(dir_.path() / "native") {
    server_.emplace(
        std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                 "--disable-shm=yes", "--use-pid-file=no", "-L",
                                 "module-null-sink sink_name=quillfen_test", "-L",
                                 "module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string()},
        // Its own runtime folder, and a bus address that cannot be reached, so it neither
        // meets the machine's sound setup nor starts a bus of its own.
        std::map<std::string, std::string>{
            {"XDG_RUNTIME_DIR", dir_.path().string()},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir_.path() / "no-bus").string()}});
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!std::filesystem::exists(socket_)) {
        if (std::chrono::steady_clock::now() > deadline || !server_->running())
            fail("the sound server did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace quillfen::test
