#include "RunningCopyWatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

namespace quillfen {

namespace {

// The Uid line is among the first dozen of a process's status, well inside this.
constexpr std::size_t kMaxStatusBytes = 4096;

}  // namespace

std::optional<uid_t> realUserOfProcess(int processes, const std::string& pid) {
    const int status = ::openat(processes, (pid + "/status").c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (status < 0) return std::nullopt;
    std::string text(kMaxStatusBytes, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const auto count = ::read(status, text.data() + got, text.size() - got);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        got += static_cast<std::size_t>(count);
    }
    ::close(status);
    text.resize(got);
    auto at = text.find("\nUid:");
    if (at == std::string::npos) return std::nullopt;
    at = text.find_first_not_of(" \t", at + 5);
    uid_t user = 0;
    if (at == std::string::npos ||
        std::from_chars(text.data() + at, text.data() + text.size(), user).ec != std::errc())
        return std::nullopt;
    return user;
}

RunningCopyWatch::Process& RunningCopyWatch::Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = other.descriptor_;
        other.descriptor_ = -1;
    }
    return *this;
}

RunningCopyWatch::Process::~Process() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool RunningCopyWatch::Process::ended() const {
    pollfd process{descriptor_, POLLIN, 0};
    return ::poll(&process, 1, 0) != 0;
}

// The program is known by its file's device and inode. The descriptor stays open while the watch
// lives: a file held open keeps its inode, which a removed one would pass on to the next file made.
RunningCopyWatch::RunningCopyWatch(int program, uid_t user, Pace pace, SteadyClock now, Pause pause)
    : user_(user), pace_(pace), now_(std::move(now)), pause_(std::move(pause)) {
    struct stat file {};
    if (::fstat(program, &file) == 0 && S_ISREG(file.st_mode)) {
        device_ = file.st_dev;
        inode_ = file.st_ino;
        known_ = true;
    }
}

// The program a process runs is looked at first, a call for each: another user's process keeps it
// to itself (unless this is root's), and one that has ended has none.
bool RunningCopyWatch::isCopy(int processes, pid_t pid) const {
    const auto name = std::to_string(pid);
    struct stat running {};
    if (!known_ || ::fstatat(processes, (name + "/exe").c_str(), &running, 0) != 0) return false;
    return running.st_dev == device_ && running.st_ino == inode_ && realUserOfProcess(processes, name) == user_;
}

std::vector<pid_t> RunningCopyWatch::candidates() const {
    std::vector<pid_t> found;
    DIR* listing = ::opendir("/proc");
    if (listing == nullptr) return found;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error == std::errc() && end == name.data() + name.size() && pid > 0 &&
            isCopy(::dirfd(listing), pid))
            found.push_back(pid);
    }
    ::closedir(listing);
    return found;
}

std::optional<RunningCopyWatch::Process> RunningCopyWatch::open(pid_t pid) const {
    // glibc 2.36 declares no pidfd_open.
    Process process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (process.descriptor() < 0) return std::nullopt;
    const int processes = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (processes < 0) return std::nullopt;
    const bool copy = isCopy(processes, pid);
    ::close(processes);
    // Still running after the look: the number was this process's all the while.
    if (!copy || process.ended()) return std::nullopt;
    return process;
}

std::vector<RunningCopyWatch::Process> RunningCopyWatch::copies() const {
    std::vector<Process> running;
    for (const auto pid : candidates())
        if (auto process = open(pid)) running.push_back(std::move(*process));
    return running;
}

bool RunningCopyWatch::appears() const {
    for (const auto deadline = now_() + pace_.appearWithin;; pause_(pace_.lookEvery)) {
        if (!candidates().empty()) return true;
        if (now_() >= deadline) return false;
    }
}

void RunningCopyWatch::untilAllEnd() const {
    for (auto watched = copies(); !watched.empty(); watched = copies()) {
        std::vector<pollfd> waiting;
        for (const auto& process : watched)
            waiting.push_back({process.descriptor(), POLLIN, 0});
        while (!waiting.empty()) {
            if (::poll(waiting.data(), waiting.size(), -1) < 0) {
                if (errno == EINTR) continue;
                // Nothing to block on (no memory for the poll): look again in a while.
                pause_(pace_.lookEvery);
                break;
            }
            std::erase_if(waiting, [](const pollfd& process) { return process.revents != 0; });
        }
    }
}

int RunningCopyWatch::run() const {
    if (appears()) untilAllEnd();
    return kEnded;
}

}  // namespace quillfen
