#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "platform/CommandRunner.h"
#include "support/CapturedSystemLog.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

const RunningCopy::Installation kInstalled{"/home/bob/My \"Apps\" $HOME 100% \\ it's"};

TEST(DesktopEntry, AnInstalledCopyKeepsItsEntryFirstInTheMenuAndABuildFolderCopyWritesNone) {
    const std::string ours = *DesktopEntry::text(kInstalled.launcher());
    const std::string written = "desktop-entry: desktop entry written: ";
    const struct {
        const char* label;
        std::function<void(const fs::path& systemFolder)> arrange;
        bool rewritten;
        std::optional<RunningCopy::Installation> installed = kInstalled;
    } cases[] = {
        {"no entry anywhere", [](auto&) {}, true},
        {"the installation's own entry in the system's folder", [&](auto& s) { test::writeFile(s, ours); }, false},
        {"another install's entry in the system's folder", [](auto& s) { test::writeFile(s, "[Desktop Entry]\n"); },
         true},
        {"a stale entry of the user's shadowing ours",
         [&](auto& s) {
             test::writeFile(s, ours);
             test::writeFile(DesktopEntry::userFile(), "[Desktop Entry]\nExec=/old/bin/quillfen %u\n");
         },
         true},
        // This test program is such a copy.
        {"a copy run from its build folder", [](auto&) {}, false, RunningCopy::installed()},
    };
    for (const auto& c : cases) {
        test::TestHome home;
        test::ScopedEnv dirs("XDG_DATA_DIRS", "relative/ignored:" + (home.path() / "system").string());
        c.arrange(home.path() / "system/applications/org.quillfen.Quillfen.desktop");
        test::CapturedSystemLog log;
        EXPECT_EQ(DesktopEntry::refresh(c.installed), c.installed.has_value()) << c.label;
        if (c.rewritten) {
            EXPECT_EQ(log.lines, std::vector<std::string>{written + DesktopEntry::userFile().string()}) << c.label;
            EXPECT_EQ(test::readFile(DesktopEntry::userFile()), ours) << c.label;
            EXPECT_EQ(makeCommandRunner()->run("/usr/bin/desktop-file-validate", {DesktopEntry::userFile().string()}).status, 0)
                << c.label;
        } else if (c.installed) {
            EXPECT_TRUE(log.lines.empty() && !fs::exists(DesktopEntry::userFile())) << c.label;
        } else {
            EXPECT_EQ(log.lines, std::vector<std::string>{"desktop-entry: desktop entry not written: this copy does not "
                                                          "run from the installed build (" +
                                                          RunningCopy::recorded().build().string() + ")"});
            EXPECT_FALSE(fs::exists(DesktopEntry::userFile()));
        }
    }
}

}  // namespace
}  // namespace quillfen
