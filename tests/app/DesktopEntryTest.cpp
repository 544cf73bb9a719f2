#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "platform/CommandRunner.h"
#include "support/CapturedSystemLog.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(DesktopEntry, AnInstalledCopyKeepsItsOwnEntryFirstInTheMenu) {
    const RunningCopy::Installation installed{"/home/bob/My \"Apps\" $HOME 100% \\ it's"};
    const std::string ours = *DesktopEntry::text(installed.launcher());
    const struct {
        const char* label;
        std::function<void(const std::filesystem::path& systemEntry)> arrange;
        bool written;
    } cases[] = {
        {"no entry anywhere", [](auto&) {}, true},
        {"its own entry in the system's folder", [&](auto& s) { test::writeFile(s, ours); }, false},
        {"a stale entry of the user's before it",
         [&](auto& s) {
             test::writeFile(s, ours);
             test::writeFile(DesktopEntry::userFile(), "[Desktop Entry]\nExec=/old/bin/quillfen %u\n");
         },
         true},
    };
    for (const auto& c : cases) {
        test::TestHome home;
        test::ScopedEnv dirs("XDG_DATA_DIRS", "relative/ignored:" + (home.path() / "system").string());
        c.arrange(home.path() / "system/applications/org.quillfen.Quillfen.desktop");
        test::CapturedSystemLog log;
        EXPECT_TRUE(DesktopEntry::refresh(installed)) << c.label;
        const auto user = DesktopEntry::userFile().string();
        EXPECT_EQ(log.lines.size(), c.written ? 1u : 0u) << c.label;
        EXPECT_EQ(std::filesystem::exists(user), c.written) << c.label;
        if (c.written) {
            EXPECT_EQ(test::readFile(user), ours) << c.label;
            EXPECT_EQ(makeCommandRunner()->run("/usr/bin/desktop-file-validate", {user}).status, 0) << c.label;
        }
    }
}

// The install below ~/.local puts its entry in the user's own menu folder. A copy installed
// elsewhere, started later, leaves that entry as the install put it: it starts the other copy, and
// that copy's uninstall takes it out.
TEST(DesktopEntry, ACopyInstalledElsewhereNeverWritesOverTheEntryTheInstallBelowTheHomePutThere) {
    test::TestHome home;
    const RunningCopy::Installation local{home.path() / ".local"};
    const std::string installed = *DesktopEntry::text(local.launcher());
    test::writeFile(DesktopEntry::userFile(), installed);
    std::filesystem::permissions(DesktopEntry::userFile(), std::filesystem::perms(0644));

    test::CapturedSystemLog log;
    EXPECT_FALSE(DesktopEntry::refresh(RunningCopy::Installation{home.path() / "opt"}));
    EXPECT_EQ(test::readFile(DesktopEntry::userFile()), installed);
    EXPECT_EQ(std::filesystem::status(DesktopEntry::userFile()).permissions(), std::filesystem::perms(0644));
    EXPECT_EQ(log.lines, std::vector<std::string>{"desktop-entry: desktop entry not written: " +
                                                  DesktopEntry::userFile().string() + " is the one the install below " +
                                                  local.prefix.string() + " put there"});
}

}  // namespace
}  // namespace quillfen
