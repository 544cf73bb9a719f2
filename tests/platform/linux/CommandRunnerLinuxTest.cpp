#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/CommandRunner.h"
#include "support/ChildProcess.h"
#include "support/Hold.h"
#include "support/PlantedProgram.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(CommandRunnerLinux, ReportsExitStatusesLaunchFailuresAndDeadlines) {
    auto runner = makeCommandRunner(0.2);
    EXPECT_EQ(runner->run("/bin/sh", {"-c", "echo noise; exit 3"}), (CommandOutcome{true, 3, {}}));
    EXPECT_EQ(runner->run("/no/such/tool", {}), (CommandOutcome{false, -1, "No such file or directory"}));
    EXPECT_EQ(runner->launchDetached("/no/such/tool", {}), "No such file or directory");
    const test::ShellHold hung;
    EXPECT_EQ(runner->run("/bin/sh", {"-c", hung.command()}),
              (CommandOutcome{true, -1, "did not finish in time"}));
    hung.letGo();
    EXPECT_FALSE(hung.gaveUp()) << "the run waited for the tool";
}

// Descriptors this process holds without close-on-exec (as a file stream, mkstemp or a library's
// socket hold theirs) and the prompt registry's keys stay here, whichever way a tool is started.
TEST(CommandRunnerLinux, AToolGetsTheStandardStreamsAndTheUsersEnvironmentOnly) {
    test::TempDir dir;
    test::ScopedEnv secret("QUILLFEN_LANGFUSE_SECRET_KEY", "sk-lf-1"), users("EDITOR", "vi");
    const int held = ::open("/dev/null", O_RDONLY);
    auto runner = makeCommandRunner(2);
    for (const bool detached : {false, true}) {
        const auto out = dir.path() / (detached ? "detached" : "waited");
        // ls reads the folder through descriptor 3 of its own.
        const std::vector<std::string> arguments{
            "-c", "env > '" + out.string() + ".env'; ls /proc/self/fd > '" + out.string() + ".tmp'; mv '" +
                      out.string() + ".tmp' '" + out.string() + "'"};
        if (detached) {
            EXPECT_EQ(runner->launchDetached("/bin/sh", arguments), std::nullopt);
        } else {
            EXPECT_EQ(runner->run("/bin/sh", arguments), (CommandOutcome{true, 0, {}}));
        }
        ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(out); })) << detached;
        EXPECT_EQ(test::readFile(out), "0\n1\n2\n3\n") << detached;
        const std::string environment = test::readFile(out.string() + ".env");
        EXPECT_EQ(environment.find("QUILLFEN_LANGFUSE"), std::string::npos) << detached;
        EXPECT_NE(environment.find("EDITOR=vi"), std::string::npos) << detached;
    }
    ::close(held);
}

TEST(CommandRunnerLinux, AProgramNamedRelativelyIsNeverStarted) {
    test::TempDir dir;
    test::PlantedProgram planted(dir.path(), "systemctl");
    test::ScopedWorkingDirectory cwd(dir.path());
    auto runner = makeCommandRunner(2);
    for (const char* name : {"systemctl", "./systemctl"}) {
        EXPECT_FALSE(runner->run(name, {}).started) << name;
        EXPECT_NE(runner->launchDetached(name, {}), std::nullopt) << name;
    }
    EXPECT_FALSE(planted.ran());
}

}  // namespace
}  // namespace quillfen
