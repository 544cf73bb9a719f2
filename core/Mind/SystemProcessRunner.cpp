#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "Mind/ProcessRunner.h"
#include "Support/ChildEnvironment.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

using SteadyClock = std::chrono::steady_clock;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd read, write;
};

bool makePipe(Pipe& p) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    p.read.reset(fds[0]);
    p.write.reset(fds[1]);
    return true;
}

// The process group of every child from its start until the runner is done with it, so that the
// quit path can end them all: a timed-out child still in its grace, or one whose call is still
// running, would otherwise outlive the application. Never destroyed, since detached reapers and
// late calls may still use it while the process exits.
struct LiveGroups {
    std::mutex mutex;
    std::set<pid_t> groups;
    bool closed = false;
};

LiveGroups& liveGroups() {
    static auto* live = new LiveGroups;
    return *live;
}

void forget(pid_t group) {
    auto& live = liveGroups();
    std::lock_guard lock(live.mutex);
    live.groups.erase(group);
}

void killAndReap(pid_t pid) {
    ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    forget(pid);
}

// Ends the child's process group politely, then for certain, and reaps the child. Runs on its
// own thread so that the caller hears of the time-out at once.
void terminateAndReap(pid_t pid) {
    ::kill(-pid, SIGTERM);
    try {
        std::thread([pid] {
            const auto killAt =
                SteadyClock::now() +
                std::chrono::duration_cast<SteadyClock::duration>(
                    std::chrono::duration<double>(SystemProcessRunner::kTerminationGraceSeconds));
            int status = 0;
            while (SteadyClock::now() < killAt) {
                if (::waitpid(pid, &status, WNOHANG) == pid) {
                    ::kill(-pid, SIGKILL);  // anything the child left behind in its group
                    forget(pid);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            killAndReap(pid);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to wait out the grace: no grace.
        killAndReap(pid);
    }
}

int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return WTERMSIG(status);
    return status;
}

// Reads what is available without blocking; false once the stream has ended.
bool drain(int fd, std::string& into, std::size_t limit, bool& overflowed) {
    std::array<char, 65536> buffer;
    while (true) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            const std::size_t room = limit > into.size() ? limit - into.size() : 0;
            if (static_cast<std::size_t>(n) > room) overflowed = true;
            into.append(buffer.data(), std::min(room, static_cast<std::size_t>(n)));
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

}  // namespace

void SystemProcessRunner::killAll() {
    auto& live = liveGroups();
    std::lock_guard lock(live.mutex);
    live.closed = true;
    for (pid_t group : live.groups)
        ::kill(-group, SIGKILL);
}

ProcessResult SystemProcessRunner::run(const std::string& executable,
                                       const std::vector<std::string>& arguments, double timeoutSeconds,
                                       std::stop_token stop, const std::string& input) const {
    // A relative name would be looked up in the working folder, which anyone may have filled.
    if (!executable.starts_with('/')) return ProcessLaunchError{ENOENT, std::strerror(ENOENT)};
    Pipe in, out, err;
    if (!makePipe(in) || !makePipe(out) || !makePipe(err)) {
        return ProcessLaunchError{errno, std::strerror(errno)};
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write.get(), STDERR_FILENO);
    // Whatever else is open, and not close-on-exec, in this process (another thread's socket or
    // temporary file) is none of the child's business.
    const int closing = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals, defaults;
    sigemptyset(&noSignals);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const ChildEnvironment environment;

    pid_t pid = 0;
    int spawned = closing;
    bool quitting = false, gaveUp = false;
    {
        // Under the lock, so that the quit path either sees this child or keeps it from starting.
        auto& live = liveGroups();
        std::lock_guard lock(live.mutex);
        quitting = live.closed;
        // A caller that has given up (a time-out, perhaps long after a slow persona read) wants no
        // child any more.
        gaveUp = stop.stop_requested();
        if (!quitting && !gaveUp && spawned == 0) {
            spawned = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(),
                                  environment.get());
            if (spawned == 0) live.groups.insert(pid);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    in.read.reset();
    out.write.reset();
    err.write.reset();
    if (gaveUp) return MindError::timedOut();
    if (quitting) return MindError::transport("claude was not started: the application is quitting");
    if (spawned != 0) return ProcessLaunchError{spawned, std::strerror(spawned)};

    for (int fd : {in.write.get(), out.read.get(), err.read.get()}) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    std::size_t inputWritten = 0;
    if (input.empty()) in.write.reset();

    const double bounded = std::isfinite(timeoutSeconds) ? std::clamp(timeoutSeconds, 0.0, 1e7) : 1e7;
    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                                   std::chrono::duration<double>(bounded));
    std::string output, error;
    bool outputOverflowed = false, errorOverflowed = false;
    bool outOpen = true, errOpen = true;
    std::optional<int> exitStatus;
    int inputError = 0;

    while (true) {
        if (!exitStatus) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) exitStatus = status;
        }
        // Input still unwritten when the child has gone is tried once more, and fails.
        if (exitStatus && !outOpen && !errOpen && !in.write) break;
        if (stop.stop_requested() || SteadyClock::now() > deadline) {
            if (!exitStatus) {
                terminateAndReap(pid);
                return MindError::timedOut();
            }
            // The child has ended but something it started still holds its streams open.
            ::kill(-pid, SIGKILL);
            break;
        }

        std::vector<pollfd> fds;
        if (outOpen) fds.push_back({out.read.get(), POLLIN, 0});
        if (errOpen) fds.push_back({err.read.get(), POLLIN, 0});
        if (in.write) fds.push_back({in.write.get(), POLLOUT, 0});
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        const int wait = static_cast<int>(std::clamp<long long>(left, 0, 50));
        if (fds.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait > 0 ? wait : 1));
        } else {
            ::poll(fds.data(), fds.size(), wait > 0 ? wait : 1);
        }
        if (outOpen) outOpen = drain(out.read.get(), output, kMaxOutputBytes, outputOverflowed);
        if (errOpen) errOpen = drain(err.read.get(), error, kMaxErrorBytes, errorOverflowed);
        if (in.write) {
            ssize_t n = ::write(in.write.get(), input.data() + inputWritten, input.size() - inputWritten);
            if (n > 0) inputWritten += static_cast<std::size_t>(n);
            if (n < 0 && errno != EAGAIN && errno != EINTR) inputError = errno;
            if (inputWritten == input.size() || inputError) in.write.reset();
        }
    }

    forget(pid);
    if (inputError) {
        return MindError::transport("claude's input could not be written: " +
                                    std::string(std::strerror(inputError)));
    }
    if (outputOverflowed) {
        return MindError::transport("claude wrote more than " + std::to_string(kMaxOutputBytes) + " bytes");
    }
    std::string text = UnicodeText::repairedUtf8(output);
    const int code = exitCodeOf(*exitStatus);
    if (code != 0 && Text::trimmed(text).empty()) {
        return MindError::transport("claude exited " + std::to_string(code) + ": " +
                                    UnicodeText::prefix(UnicodeText::repairedUtf8(error), 200));
    }
    return text;
}

}  // namespace quillfen
