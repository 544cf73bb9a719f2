#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen::bench {

// One process as its /proc/<pid>/stat shows it at a look.
struct ProcessLook {
    pid_t pid = 0;
    pid_t parent = 0;
    // Since the machine started, in clock ticks: with the number, which process it is.
    unsigned long long started = 0;
    // Its own CPU time and that of the children it waited for (utime, stime, cutime, cstime), in
    // clock ticks.
    long long cpuTicks = 0;
};

// Read from a /proc/<pid>/stat line; nothing when the line is not one.
std::optional<ProcessLook> processFromStat(std::string_view line);
// Every process there is now.
std::vector<ProcessLook> lookAtProcesses();
// Context switches, voluntary and not, of each thread of the process now, by thread id: each is a
// wake-up of that thread.
using ThreadSwitches = std::map<pid_t, long long>;
ThreadSwitches threadSwitches(pid_t pid);

// What a process and everything below it cost from the first look on: its CPU time and its
// threads' wake-ups. A process that came below it once stays its own, wherever it moves (an orphan
// taken by a reaper outside). A process that ends hands its CPU time to the parent that waits for
// it, which counts it then; one whose parent is not of the tree keeps what it had at the last
// look. A thread that ends keeps what it had at the last look: one that starts and ends between
// two looks is not seen.
class TreeCost {
public:
    explicit TreeCost(pid_t root) : root_(root) {}

    // `processes` is every process there is; `switchesOf` gives a member's threads.
    void look(const std::vector<ProcessLook>& processes,
              const std::function<ThreadSwitches(pid_t)>& switchesOf);

    long long cpuTicks() const { return value_ - firstValue_; }
    long long switches() const;
    // Those of the tree there were at the last look.
    std::vector<pid_t> members() const;

private:
    using Key = std::pair<pid_t, unsigned long long>;
    struct Member {
        pid_t parent = 0;
        long long cpuTicks = 0;
        bool present = false;
    };
    struct Thread {
        long long first = 0;
        long long last = 0;
    };

    bool endedInTheTree(const Key& ended) const;

    pid_t root_;
    bool looked_ = false;
    std::map<Key, Member> members_;
    std::map<pid_t, Thread> threads_;
    long long kept_ = 0, keptSwitches_ = 0;
    long long firstValue_ = 0, value_ = 0;
};

}  // namespace quillfen::bench
