#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <sstream>
#include <string>
#include <vector>

#include "CountedProcess.h"
#include "ProcessCost.h"
#include "support/ChildProcess.h"

namespace quillfen {
namespace {

// Each fork and exec below the program, wherever it happens, once; never its own start, and never
// a thread: also those the C library makes through clone3, which the filter sends back to clone.
TEST(CountedProcess, CountsEachProcessAndProgramBegunBelowItButNotItsOwnStartNorAThread) {
    const struct {
        const char* what;
        std::vector<std::string> argv;
        bench::Starts begun;
    } cases[] = {
        {"a program alone", {"/bin/true"}, {0, 0}},
        {"two programs in turn", {"/bin/bash", "-c", "/bin/true; /bin/true; exit 0"}, {2, 2}},
        {"a subshell that starts no program", {"/bin/bash", "-c", "(exit 0); exit 0"}, {1, 0}},
        {"a program an orphan starts", {"/bin/bash", "-c", "(/bin/true &); exit 0"}, {2, 1}},
        {"a thread",
         {"/usr/bin/python3", "-c", "import threading; t = threading.Thread(); t.start(); t.join()"},
         {0, 0}},
        {"a program spawned",
         {"/usr/bin/python3", "-c", "import os; os.waitpid(os.posix_spawn('/bin/true', ['true'], {}), 0)"},
         {1, 1}},
    };
    for (const auto& c : cases) {
        bench::CountedProcess process(c.argv, {});
        if (!process.uncounted().empty()) GTEST_SKIP() << process.uncounted();
        ASSERT_TRUE(test::waitUntil([&] { return process.ended().has_value(); })) << c.what;
        const auto status = *process.ended();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what;
        // An orphan may start its program after the first process ended.
        test::waitUntil([&] { return process.starts() == c.begun; });
        EXPECT_EQ(process.starts().processes, c.begun.processes) << c.what;
        EXPECT_EQ(process.starts().programs, c.begun.programs) << c.what;
    }
}

// As a unit's program runs: a session of its own with no terminal. What it leaves running stays
// below it, and goes with it.
TEST(CountedProcess, RunsInASessionOfItsOwnKeepsItsOrphansAndEndsThemWithIt) {
    pid_t root = 0, orphan = 0;
    {
        bench::CountedProcess process({"/bin/bash", "-c", "(/bin/sleep 60 &); exec /bin/sleep 60"}, {});
        root = process.pid();
        const auto orphans = [&] {
            for (const auto& look : bench::lookAtProcesses())
                if (look.parent == root) orphan = look.pid;
            return orphan != 0;
        };
        ASSERT_TRUE(test::waitUntil(orphans));
        const auto stat = test::readFile("/proc/" + std::to_string(root) + "/stat");
        // Session and terminal: fields 6 and 7, after the command.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string state, parent, group, session, terminal;
        fields >> state >> parent >> group >> session >> terminal;
        EXPECT_EQ(session, std::to_string(root));
        EXPECT_EQ(terminal, "0");
    }
    EXPECT_TRUE(test::waitUntil([&] { return ::kill(orphan, 0) != 0; }));
}

}  // namespace
}  // namespace quillfen
