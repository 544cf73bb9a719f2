#include <gtest/gtest.h>

#include "platform/TerminalLauncher.h"
#include "support/ChildProcess.h"
#include "support/PlantedProgram.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

// The desktop's terminal is found on the search path's absolute folders, never in the working
// folder, and gets the command as separate words. (It is started through the command runner,
// whose children get the standard streams only and no secret.) The script names its tools by
// path: the search path here is the test's.
TEST(TerminalLauncherLinux, StartsTheTerminalFromTheSearchPathWithTheCommandAsItsOwnWords) {
    test::TempDir dir;
    const auto bin = dir.path() / "bin", out = dir.path() / "terminal";
    test::writeFile(bin / "x-terminal-emulator", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + out.string() +
                                                     ".tmp'\n/bin/mv '" + out.string() + ".tmp' '" +
                                                     out.string() + "'\n");
    std::filesystem::permissions(bin / "x-terminal-emulator", std::filesystem::perms::owner_all);
    test::PlantedProgram planted(dir.path(), "x-terminal-emulator");
    test::ScopedWorkingDirectory cwd(dir.path());
    auto terminal = makeTerminalLauncher();

    {
        test::ScopedEnv path("PATH", ".::" + bin.string());
        EXPECT_TRUE(terminal->run("/home/o'neil/my tools/claude", {"auth", "login"}));
    }
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(out); }));
    EXPECT_EQ(test::readFile(out), "-e|/home/o'neil/my tools/claude|auth|login|");
    {
        test::ScopedEnv path("PATH", ".:bin");
        EXPECT_FALSE(terminal->run("/usr/bin/claude", {"auth", "login"}));
    }
    EXPECT_FALSE(planted.ran());
}

}  // namespace
}  // namespace quillfen
