#include <gtest/gtest.h>

#include <chrono>

#include "platform/CommandRunner.h"

namespace quillfen {
namespace {

TEST(CommandRunnerLinux, ReportsExitStatusesLaunchFailuresAndDeadlines) {
    auto runner = makeCommandRunner(0.2);
    EXPECT_EQ(runner->run("/bin/sh", {"-c", "echo noise; exit 3"}), (CommandOutcome{true, 3, {}}));
    EXPECT_EQ(runner->run("/no/such/tool", {}), (CommandOutcome{false, -1, "No such file or directory"}));
    EXPECT_EQ(runner->launchDetached("/no/such/tool", {}), "No such file or directory");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runner->run("/bin/sh", {"-c", "sleep 5"}), (CommandOutcome{true, -1, "did not finish in time"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace quillfen
