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

}  // namespace
}  // namespace quillfen
