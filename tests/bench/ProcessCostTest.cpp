#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ProcessCost.h"

namespace quillfen {
namespace {

using bench::ProcessLook;
using bench::ThreadSwitches;

TEST(ProcessCost, ReadsAStatLineWhateverTheCommandHoldsAndNothingFromAShortOne) {
    const std::string rest = " S 7 7 7 0 -1 4194560 100 0 0 0 11 12 13 14 20 0 1 0 5555 1000 100";
    const struct {
        const char* what;
        std::string line;
        std::optional<ProcessLook> read;
    } cases[] = {
        {"a plain command", "42 (bash)" + rest, ProcessLook{42, 7, 5555, 11 + 12 + 13 + 14}},
        {"spaces and parentheses", "42 (a) (b c)" + rest + "\n", ProcessLook{42, 7, 5555, 50}},
        {"cut before its start time", "42 (bash) S 7 7 7 0 -1 4194560 100 0 0 0 11 12 13 14", std::nullopt},
        {"no command", "42 bash" + rest, std::nullopt},
        {"not a number", "4x2 (bash)" + rest, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto read = bench::processFromStat(c.line);
        ASSERT_EQ(read.has_value(), c.read.has_value()) << c.what;
        if (!read) continue;
        EXPECT_EQ(read->pid, c.read->pid) << c.what;
        EXPECT_EQ(read->parent, c.read->parent) << c.what;
        EXPECT_EQ(read->started, c.read->started) << c.what;
        EXPECT_EQ(read->cpuTicks, c.read->cpuTicks) << c.what;
    }
}

// One look at the machine: its processes (number, parent, start, CPU time with the children it
// waited for) and their threads' switches.
struct Look {
    std::vector<ProcessLook> processes;
    std::map<pid_t, ThreadSwitches> threads = {};
};

// The tree below process 100, over looks as /proc would show them.
TEST(ProcessCost, ATreeCountsEachTickAndWakeUpOnceWhereverItsProcessesGo) {
    const struct {
        const char* what;
        std::vector<Look> looks;
        long long cpuTicks;
        long long switches = 0;
    } cases[] = {
        {"its own time", {{{{100, 1, 1, 10}}}, {{{100, 1, 1, 25}}}}, 15},
        // Reaped, a child's time is in its parent's count of its children, and only there.
        {"a child it waited for", {{{{100, 1, 1, 10}, {101, 100, 2, 5}}}, {{{100, 1, 1, 20}}}}, 5},
        {"a grandchild whose parent ended too",
         {{{{100, 1, 1, 10}, {101, 100, 2, 5}, {102, 101, 3, 3}}}, {{{100, 1, 1, 19}}}},
         1},
        {"an orphan it took over",
         {{{{100, 1, 1, 10}, {101, 100, 2, 5}, {102, 101, 3, 3}}}, {{{100, 1, 1, 15}, {102, 100, 3, 4}}}},
         1},
        {"one that moved out and ended there",
         {{{{100, 1, 1, 10}, {101, 100, 2, 5}}}, {{{100, 1, 1, 10}, {101, 1, 2, 7}}}, {{{100, 1, 1, 10}}}},
         2},
        {"one begun after the first look", {{{{100, 1, 1, 10}}}, {{{100, 1, 1, 10}, {103, 100, 9, 4}}}}, 4},
        {"another tree", {{{{100, 1, 1, 10}, {200, 1, 2, 50}}}, {{{100, 1, 1, 11}, {200, 1, 2, 90}}}}, 1},
        {"a number taken again by a process elsewhere",
         {{{{100, 1, 1, 10}, {101, 100, 2, 5}}}, {{{100, 1, 1, 15}, {101, 1, 9, 40}}}},
         0},
        {"threads there at the first look",
         {{{{100, 1, 1, 0}}, {{100, {{100, 5}, {110, 3}}}}},
          {{{100, 1, 1, 0}}, {{100, {{100, 9}, {110, 4}}}}}},
         0,
         5},
        {"a thread that ended",
         {{{{100, 1, 1, 0}}, {{100, {{100, 5}, {110, 3}}}}},
          {{{100, 1, 1, 0}}, {{100, {{100, 6}, {110, 7}}}}},
          {{{100, 1, 1, 0}}, {{100, {{100, 6}}}}}},
         0,
         5},
        {"a thread begun later",
         {{{{100, 1, 1, 0}}, {{100, {{100, 5}}}}}, {{{100, 1, 1, 0}}, {{100, {{100, 5}, {111, 4}}}}}},
         0,
         4},
        {"the threads of a child begun later",
         {{{{100, 1, 1, 0}}, {{100, {{100, 5}}}}},
          {{{100, 1, 1, 0}, {101, 100, 4, 0}}, {{100, {{100, 5}}}, {101, {{101, 3}}}}}},
         0,
         3},
        {"a thread number taken again",
         {{{{100, 1, 1, 0}}, {{100, {{100, 5}, {110, 8}}}}},
          {{{100, 1, 1, 0}}, {{100, {{100, 5}, {110, 2}}}}}},
         0,
         2},
    };
    for (const auto& c : cases) {
        bench::TreeCost cost(100);
        for (const auto& look : c.looks) {
            cost.look(look.processes, [&](pid_t pid) {
                const auto found = look.threads.find(pid);
                return found != look.threads.end() ? found->second : ThreadSwitches{};
            });
        }
        EXPECT_EQ(cost.cpuTicks(), c.cpuTicks) << c.what;
        EXPECT_EQ(cost.switches(), c.switches) << c.what;
    }
}

TEST(ProcessCost, FindsThisProcessAndItsThreadsOnTheMachine) {
    const auto processes = bench::lookAtProcesses();
    const auto self = std::find_if(processes.begin(), processes.end(),
                                   [](const ProcessLook& process) { return process.pid == ::getpid(); });
    ASSERT_NE(self, processes.end());
    EXPECT_EQ(self->parent, ::getppid());
    const auto threads = bench::threadSwitches(::getpid());
    ASSERT_TRUE(threads.contains(::getpid()));
    EXPECT_GT(threads.at(::getpid()), 0);
    bench::TreeCost cost(::getpid());
    cost.look(processes, bench::threadSwitches);
    EXPECT_EQ(cost.members(), std::vector<pid_t>{::getpid()});
}

}  // namespace
}  // namespace quillfen
