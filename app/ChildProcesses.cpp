#include "ChildProcesses.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "Support/SafeFile.h"

namespace quillfen::ChildProcesses {

namespace {

struct Stat {
    pid_t parent = 0;
    pid_t group = 0;
};

// /proc/<pid>/stat: "pid (comm) state ppid pgrp ..."; the command may hold spaces and
// parentheses, so the fields are read after its last ')'. The kernel gives it as one short line
// and a size of 0, so it is read up to a cap, never to an end it might not have.
bool readStat(pid_t pid, Stat& stat) {
    constexpr std::size_t kMostStatBytes = 4096;
    const auto text = SafeFile::readWhole("/proc/" + std::to_string(pid) + "/stat", kMostStatBytes,
                                          SafeFile::Links::follow);
    if (!text) return false;
    const std::string line = text->substr(0, text->find('\n'));
    auto close = line.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(line.substr(close + 1));
    char state = 0;
    return static_cast<bool>(fields >> state >> stat.parent >> stat.group);
}

void signalChild(pid_t pid, int signal) {
    Stat stat;
    if (readStat(pid, stat) && stat.group == pid && stat.group != ::getpgrp()) {
        ::kill(-pid, signal);
    } else {
        ::kill(pid, signal);
    }
}

void reap(std::vector<pid_t>& children) {
    std::erase_if(children, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

}  // namespace

std::vector<pid_t> running() {
    std::vector<pid_t> children;
    const pid_t self = ::getpid();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        Stat stat;
        if (readStat(pid, stat) && stat.parent == self) children.push_back(pid);
    }
    return children;
}

void endAll(std::chrono::milliseconds grace) {
    auto children = running();
    for (pid_t pid : children)
        signalChild(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    reap(children);
    while (!children.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        reap(children);
    }
    for (pid_t pid : children) {
        signalChild(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace quillfen::ChildProcesses
