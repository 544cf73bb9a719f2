#include "support/ThreadShortage.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <system_error>
#include <thread>

namespace quillfen::test {

namespace {

constexpr char kCannot = '\x01';

void writeAll(int fd, const std::string& text) {
    std::string_view rest(text);
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n <= 0) return;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

// In the child: never returns.
[[noreturn]] void child(int report, const ShortBody& body, const std::vector<std::filesystem::path>& handedOver) {
    if (::geteuid() == 0) {
        const unsigned user = unprivilegedUser();
        for (const auto& folder : handedOver) handOver(folder, user);
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) {
            writeAll(report, std::string(1, kCannot) + "cannot become an unprivileged user");
            ::_exit(0);
        }
    }
    struct rlimit original {};
    ::getrlimit(RLIMIT_NPROC, &original);
    struct rlimit one = original;
    one.rlim_cur = 1;
    ::setrlimit(RLIMIT_NPROC, &one);
    try {
        std::thread([] {}).join();
        writeAll(report, std::string(1, kCannot) + "threads still start under the limit");
        ::_exit(0);
    } catch (const std::system_error&) {
    }
    std::string seen;
    try {
        seen = body([original] { ::setrlimit(RLIMIT_NPROC, &original); });
    } catch (const std::exception& error) {
        seen = std::string("threw: ") + error.what();
    }
    writeAll(report, seen);
    ::_exit(0);
}

}  // namespace

void handOver(const std::filesystem::path& root, unsigned user) {
    std::error_code ec;
    [[maybe_unused]] int changed = ::lchown(root.c_str(), user, user);
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        changed = ::lchown(it->path().c_str(), user, user);
}

unsigned unprivilegedUser() {
    return 200000u + static_cast<unsigned>(::getpid()) % 100000u;
}

std::optional<std::string> runShortOfThreads(const ShortBody& body,
                                             const std::vector<std::filesystem::path>& handedOver) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        ::close(fds[0]);
        child(fds[1], body, handedOver);
    }
    ::close(fds[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return "did not end: " + text;
    }
    if (!text.empty() && text.front() == kCannot) return std::nullopt;
    if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
    return text;
}

}  // namespace quillfen::test
