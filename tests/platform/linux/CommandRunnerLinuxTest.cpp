#include <gtest/gtest.h>

#include <chrono>

#include "platform/CommandRunner.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;

TEST(CommandRunnerLinux, ReportsExitStatusesLaunchFailuresAndDeadlines) {
    auto runner = makeCommandRunner(0.2);
    EXPECT_EQ(runner->run("/bin/sh", {"-c", "exit 0"}), (CommandOutcome{true, 0, {}}));
    EXPECT_EQ(runner->run("/bin/sh", {"-c", "echo noise; exit 3"}), (CommandOutcome{true, 3, {}}));
    EXPECT_EQ(runner->run("/no/such/tool", {}), (CommandOutcome{false, -1, "No such file or directory"}));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runner->run("/bin/sh", {"-c", "sleep 5"}), (CommandOutcome{true, -1, "did not finish in time"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(CommandRunnerLinux, ADetachedToolGetsItsArgumentsAsTheyAre) {
    test::TempDir dir;
    const auto marker = dir.path() / "arguments";
    auto runner = makeCommandRunner();
    EXPECT_EQ(runner->launchDetached("/no/such/tool", {}), "No such file or directory");
    EXPECT_EQ(runner->launchDetached("/bin/sh", {"-c", "printf '%s|' \"$@\" > \"$0\"", marker.string(),
                                                 "it's \"quoted\"", "$(touch pwned)"}),
              std::nullopt);
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(marker).size() > 0; }));
    EXPECT_EQ(test::readFile(marker), "it's \"quoted\"|$(touch pwned)|");
}

}  // namespace
}  // namespace quillfen
