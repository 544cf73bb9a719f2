#include "support/BytesRead.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/ChildProcess.h"

namespace quillfen::test {

namespace {

// The child's "rchar": bytes handed to it by read calls of any kind. Read by the parent, so that
// reading the count adds nothing to it.
std::optional<std::uint64_t> bytesReadSoFar(pid_t child) {
    std::ifstream io("/proc/" + std::to_string(child) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return std::nullopt;
}

// Waits until the child stops or ends; stops it for good once it has read more than `ceiling`, or
// when it has neither stopped nor ended within the patience a test has.
std::optional<int> nextStatus(pid_t child, std::uint64_t ceiling) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        int status = 0;
        const pid_t seen = ::waitpid(child, &status, WUNTRACED | WNOHANG);
        if (seen == child) return status;
        if (seen < 0) return std::nullopt;
        // No count: the child has just ended, and the next wait says so.
        const auto read = bytesReadSoFar(child);
        if ((read && *read > ceiling) || std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

std::optional<BytesRead> bytesReadBy(const std::function<int()>& reading, std::uint64_t ceiling) {
    const pid_t child = ::fork();
    if (child == 0) {
        // Nothing may leave the child but its answer: an exception would run the rest of the
        // tests a second time.
        try {
            (void)reading();
            // Stopped on each side of the counted run, so the parent reads the count with nothing
            // else of the child's in it.
            ::raise(SIGSTOP);
            const int answer = reading();
            ::raise(SIGSTOP);
            ::_exit(answer);
        } catch (...) {
            ::_exit(255);
        }
    }
    if (child < 0) return std::nullopt;
    // Whatever goes wrong on the way, the child does not outlive the call.
    bool ended = false;
    const auto end = [&](std::optional<BytesRead> result) {
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        return result;
    };
    const auto stopped = [&](std::uint64_t limit) {
        const auto status = nextStatus(child, limit);
        ended = !status || !WIFSTOPPED(*status);
        return !ended;
    };
    if (!stopped(ceiling)) return end(std::nullopt);
    const auto before = bytesReadSoFar(child);
    if (!before) return end(std::nullopt);
    ::kill(child, SIGCONT);
    if (!stopped(*before + ceiling)) return end(std::nullopt);
    const auto after = bytesReadSoFar(child);
    if (!after) return end(std::nullopt);
    ::kill(child, SIGCONT);
    const auto status = nextStatus(child, *after + ceiling);
    ended = true;
    if (!status || !WIFEXITED(*status)) return end(std::nullopt);
    return end(BytesRead{*after - *before, WEXITSTATUS(*status)});
}

}  // namespace quillfen::test
