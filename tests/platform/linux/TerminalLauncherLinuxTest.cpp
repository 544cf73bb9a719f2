#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/TerminalLauncher.h"
#include "support/ChildProcess.h"
#include "support/PlantedProgram.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

// The desktop's terminal is found on the search path's absolute folders, never in the working
// folder, and gets the command as separate words, the standard streams only and no secret.
// The script names its tools by path: the search path here is the test's.
TEST(TerminalLauncherLinux, StartsTheTerminalFromTheSearchPathWithTheCommandAsItsOwnWords) {
    test::TempDir dir;
    const auto bin = dir.path() / "bin", out = dir.path() / "terminal";
    test::writeFile(bin / "x-terminal-emulator",
                    "#!/bin/sh\n/usr/bin/env > '" + out.string() + ".env'\n/bin/ls /proc/self/fd > '" + out.string() +
                        ".fd'\nprintf '%s|' \"$@\" > '" + out.string() + ".tmp'\n/bin/mv '" + out.string() + ".tmp' '" +
                        out.string() + "'\n");
    std::filesystem::permissions(bin / "x-terminal-emulator", std::filesystem::perms::owner_all);
    test::PlantedProgram planted(dir.path(), "x-terminal-emulator");
    test::ScopedWorkingDirectory cwd(dir.path());
    test::ScopedEnv secret("QUILLFEN_LANGFUSE_SECRET_KEY", "sk-lf-1");
    const int held = ::open("/dev/null", O_RDONLY);
    auto terminal = makeTerminalLauncher();

    {
        test::ScopedEnv path("PATH", ".::" + bin.string());
        EXPECT_TRUE(terminal->run("/home/o'neil/my tools/claude", {"auth", "login"}));
    }
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(out); }));
    EXPECT_EQ(test::readFile(out), "-e|/home/o'neil/my tools/claude|auth|login|");
    EXPECT_EQ(test::readFile(out.string() + ".fd"), "0\n1\n2\n3\n");
    EXPECT_EQ(test::readFile(out.string() + ".env").find("QUILLFEN_LANGFUSE"), std::string::npos);
    {
        test::ScopedEnv path("PATH", ".:bin");
        EXPECT_FALSE(terminal->run("/usr/bin/claude", {"auth", "login"}));
    }
    ::close(held);
    EXPECT_FALSE(planted.ran());
}

}  // namespace
}  // namespace quillfen
