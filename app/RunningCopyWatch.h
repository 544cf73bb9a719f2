#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the keep-alive waits on: the user's running copies of one program. A copy is a process
// whose real user is the user and whose program is the very file a descriptor holds open, not a
// path or a command line: another user's copy of a program installed for everyone is not theirs,
// nor is a program of the same name elsewhere, and a copy whose build an update moved aside is
// still one. Each copy is watched through a process descriptor, which the kernel makes readable
// when the process ends: the wait starts no program and wakes for nothing else.
//
// Plain Linux, without Qt: the keep-alive's own small program (KeepAlive/main.cpp) is this.
namespace quillfen {

// The real user of process `pid` below the /proc folder open as `processes`: the first number of
// its status's Uid line, read no further than a cap (a file under /proc says it holds nothing and
// may go on). Nothing once it has ended.
std::optional<uid_t> realUserOfProcess(int processes, const std::string& pid);

class RunningCopyWatch {
public:
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
    using Pause = std::function<void(std::chrono::milliseconds)>;

    struct Pace {
        // How long a copy just started has to show up: a copy that a start finds running opens
        // nothing, and one that fails ends at once.
        std::chrono::milliseconds appearWithin = std::chrono::seconds(15);
        std::chrono::milliseconds lookEvery = std::chrono::milliseconds(250);
    };

    // What the wait ends with, whatever ended it: a failure, which systemd's on-failure starts
    // the keep-alive again for.
    static constexpr int kEnded = 1;

    // A descriptor of one running process (a pidfd), closed when it goes.
    class Process {
    public:
        explicit Process(int descriptor) : descriptor_(descriptor) {}
        Process(Process&& other) noexcept : descriptor_(other.descriptor_) { other.descriptor_ = -1; }
        Process& operator=(Process&& other) noexcept;
        Process(const Process&) = delete;
        Process& operator=(const Process&) = delete;
        ~Process();
        int descriptor() const { return descriptor_; }
        // Whether the process has ended, without waiting.
        bool ended() const;

    private:
        int descriptor_ = -1;
    };

    // `program`: a descriptor open on the program's file, for as long as the watch lives.
    // `user`: whose copies count, by real user id.
    RunningCopyWatch(int program, uid_t user, Pace pace, SteadyClock now, Pause pause);

    // The numbers of the processes that are copies, as the system lists them now.
    std::vector<pid_t> candidates() const;
    // A descriptor of process `pid` while it is a copy, looked at again once the descriptor is
    // held: a copy that ended since the listing, and a number another process took meanwhile,
    // are nothing to wait for.
    std::optional<Process> open(pid_t pid) const;
    // The copies running now.
    std::vector<Process> copies() const;

    // Whether a copy runs, looked for every `lookEvery` until `appearWithin` has passed.
    bool appears() const;
    // Returns once no copy runs. It blocks on the copies' descriptors until every one has ended,
    // then looks once more: a copy that started meanwhile keeps it waiting.
    void untilAllEnd() const;
    // The keep-alive's whole wait: for a copy to appear, then for the copies to end; `kEnded`.
    int run() const;

private:
    bool isCopy(int processes, pid_t pid) const;

    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool known_ = false;
    uid_t user_;
    Pace pace_;
    SteadyClock now_;
    Pause pause_;
};

}  // namespace quillfen
