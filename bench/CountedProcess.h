#pragma once

#include <sys/types.h>

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"

namespace quillfen::bench {

// The processes and the programs begun: forks and execs, each counted as it is asked of the
// kernel, whether it then succeeds or not.
struct Starts {
    long processes = 0;
    long programs = 0;
    bool operator==(const Starts&) const = default;
};

// A program that a benchmark measures, started in a session of its own with no terminal, with
// everything it and what it starts begin counted exactly. A seccomp filter, installed before its
// program starts and inherited by every process below it however far it moves (a process that
// leaves its session, one whose parent ended), hands each fork and exec to this object first, which
// counts it and lets it go on; threads pass uncounted. The program is also the reaper of the
// orphans below it, as the first process of a PID namespace would be, so that they stay in its
// tree. On ending, its whole process group is stopped (SIGTERM, then SIGKILL) and it is reaped.
class CountedProcess {
public:
    // `argv[0]` is an absolute path; `environment` as test::ChildProcess takes it.
    CountedProcess(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& environment);
    ~CountedProcess();
    CountedProcess(const CountedProcess&) = delete;
    CountedProcess& operator=(const CountedProcess&) = delete;

    pid_t pid() const { return child_->pid(); }
    // Its wait status once it has ended; nothing while it runs.
    std::optional<int> ended();
    // Begun since its program started (that start is not one of them).
    Starts starts() const { return {processes_.load(), programs_.load()}; }
    // Empty while everything is counted; otherwise why nothing is (a kernel that refuses such a
    // filter), and the program runs uncounted.
    const std::string& uncounted() const { return uncounted_; }

private:
    void answer(std::stop_token stop);

    std::optional<test::ChildProcess> child_;
    int listener_ = -1;
    std::string uncounted_;
    std::atomic<long> processes_{0}, programs_{0};
    std::jthread answering_;
};

}  // namespace quillfen::bench
