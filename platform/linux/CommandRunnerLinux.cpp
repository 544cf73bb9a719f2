#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "Support/ChildEnvironment.h"
#include "platform/CpuAffinity.h"
#include "platform/CommandRunner.h"

namespace quillfen {

namespace {

std::vector<char*> argvOf(const std::string& executable, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// A relative name would be looked up in the working folder, which anyone may have filled.
constexpr const char* kRelativeName = "not started: a program is run only by its absolute path";

// Between fork and exec: every descriptor past the standard three is closed at the exec, so the
// tool gets none of this process's files, sockets or pipes, whoever opened them and however.
// `limit` is taken before the fork: only async-signal-safe calls are allowed here.
void closeOnExecPastStandardStreams(int limit) {
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
    for (int fd = 3; fd < limit; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

int descriptorLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 65536;
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

class CommandRunnerLinux final : public CommandRunner {
public:
    explicit CommandRunnerLinux(double deadlineSeconds) : deadlineSeconds_(deadlineSeconds) {}

    CommandOutcome run(const std::string& executable, const std::vector<std::string>& arguments) override {
        if (!executable.starts_with('/')) return {false, -1, kRelativeName};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int closing = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // A group of its own, so that a tool that hangs is ended with whatever it started.
        posix_spawnattr_setpgroup(&attributes, 0);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);

        auto argv = argvOf(executable, arguments);
        const ChildEnvironment environment;
        pid_t pid = 0;
        CpuAffinity::ProcessCores cores;
        const int spawned = closing != 0 ? closing
                                         : posix_spawn(&pid, executable.c_str(), &actions, &attributes,
                                                       argv.data(), environment.get());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) return {false, -1, std::strerror(spawned)};

        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(deadlineSeconds_));
        int status = 0;
        while (true) {
            pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) break;
            if (done < 0 && errno != EINTR) return {true, -1, std::strerror(errno)};
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(-pid, SIGKILL);
                while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
                return {true, -1, "did not finish in time"};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (WIFEXITED(status)) return {true, WEXITSTATUS(status), {}};
        return {true, -1, "ended by a signal"};
    }

    std::optional<std::string> launchDetached(const std::string& executable,
                                              const std::vector<std::string>& arguments) override {
        if (!executable.starts_with('/')) return std::string(kRelativeName);
        // Everything the children need is made before the fork: between fork and exec only
        // async-signal-safe calls are allowed.
        auto argv = argvOf(executable, arguments);
        const ChildEnvironment environment;
        const int limit = descriptorLimit();
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) return std::string(std::strerror(errno));
        int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (devNull < 0) {
            const int error = errno;
            ::close(report[0]);
            ::close(report[1]);
            return std::string(std::strerror(error));
        }
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        CpuAffinity::ProcessCores cores;
        const pid_t child = ::fork();
        if (child == 0) {
            // The middle child makes a new session and leaves at once, so the tool is nobody's
            // child here and is reaped by the system.
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
            for (int sig = 1; sig < NSIG; ++sig)
                ::signal(sig, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
            closeOnExecPastStandardStreams(limit);
            ::execve(executable.c_str(), argv.data(), environment.get());
            const int error = errno;
            [[maybe_unused]] auto written = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        const int forkError = errno;
        ::close(report[1]);
        ::close(devNull);
        if (child < 0) {
            ::close(report[0]);
            return std::string(std::strerror(forkError));
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        // The report pipe closes on a successful exec; an error number arrives otherwise.
        int error = 0;
        ssize_t got;
        do {
            got = ::read(report[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        ::close(report[0]);
        if (got == static_cast<ssize_t>(sizeof error)) return std::string(std::strerror(error));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string("could not start a session");
        return std::nullopt;
    }

private:
    double deadlineSeconds_;
};

}  // namespace

std::unique_ptr<CommandRunner> makeCommandRunner(double deadlineSeconds) {
    return std::make_unique<CommandRunnerLinux>(deadlineSeconds);
}

}  // namespace quillfen
