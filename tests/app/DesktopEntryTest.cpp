#include <gtest/gtest.h>

#include <regex>

#include "DesktopEntry.h"
#include "LoginItem.h"
#include "platform/CommandRunner.h"
#include "support/CapturedSystemLog.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(DesktopEntry, AnInstalledCopyKeepsItsOwnEntryFirstInTheMenu) {
    const RunningCopy::Installation installed{"/home/bob/My \"Apps\" $HOME 100% \\ it's"};
    const std::string ours = *DesktopEntry::text(installed.launcher(), DesktopEntry::Icon::byPath);
    const struct {
        const char* label;
        std::function<void(const std::filesystem::path& systemEntry)> arrange;
        bool written;
    } cases[] = {
        {"no entry anywhere", [](auto&) {}, true},
        {"its own entry in the system's folder", [&](auto& s) { test::writeFile(s, ours); }, false},
        {"its own entry in the system's folder, as an install wrote it before it offered the desktop actions",
         [&](auto& s) {
             test::writeFile(s, *DesktopEntry::text(installed.launcher(), DesktopEntry::Icon::byPath,
                                                    DesktopEntry::Form::beforeActions));
         },
         false},
        {"a stale entry of the user's before it",
         [&](auto& s) {
             test::writeFile(s, ours);
             test::writeFile(DesktopEntry::userFile(), "[Desktop Entry]\nExec=/old/bin/quillfen %u\n");
         },
         true},
        // Left as it is, it would still show in the menu once this copy is removed.
        {"its own entry in the user's folder, as written before entries named their program",
         [&](auto&) { test::writeFile(DesktopEntry::userFile(), std::regex_replace(ours, std::regex("TryExec=.*\n"), "")); },
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

// The desktop finds an icon by the theme's name only where it reads the prefix's share folder, as
// the install's last line judges it: anywhere else the copy's own menu entry names the icon the
// install put below the prefix by its path.
TEST(DesktopEntry, TheUsersEntryNamesItsIconByPathWhereTheDesktopDoesNotReadThePrefixsShareFolder) {
    const struct {
        const char* what;
        std::optional<std::string> dataDirs;  // none: unset
        const char* prefix;                   // a relative one below the home
        bool byPath;
    } cases[] = {
        {"outside the default folders", std::nullopt, "/opt/quillfen", true},
        {"in the default folders", std::nullopt, "/usr/local", false},
        {"in the default folders, the list empty", "", "/usr/local", false},
        {"listed with a trailing slash", "/usr/share:/opt/quillfen/share/", "/opt/quillfen", false},
        {"listed relatively, which is ignored", "opt/quillfen/share:/usr/share", "/opt/quillfen", true},
        {"the user's own ~/.local", "/usr/share", ".local", false},
    };
    for (const auto& c : cases) {
        test::TestHome home;
        test::ScopedEnv dirs("XDG_DATA_DIRS", c.dataDirs);
        const RunningCopy::Installation installed{home.path() / c.prefix};
        ASSERT_TRUE(DesktopEntry::refresh(installed)) << c.what;
        const auto icon = c.byPath ? installed.icon().string() : std::string("org.quillfen.Quillfen");
        EXPECT_NE(test::readFile(DesktopEntry::userFile()).find("\nIcon=" + icon + "\n"), std::string::npos) << c.what;
    }
}

// An entry a copy since removed left behind, in any user's home, does nothing: the desktop skips
// one whose TryExec names no program.
TEST(DesktopEntry, EveryEntryWeWriteNamesItsProgramInTryExec) {
    test::TestHome home;
    const RunningCopy::Installation installed{"/opt/My \"Apps\" $HOME `x` 100% \\ it's \xc3\xa9t\xc3\xa9"};
    ASSERT_EQ(LoginItem::enable(installed), LoginItem::State::enabled);
    ASSERT_TRUE(DesktopEntry::refresh(installed));
    for (const auto& file : {LoginItem::autostartFile(), DesktopEntry::userFile()}) {
        const auto entry = test::readFile(file);
        std::smatch value;
        ASSERT_TRUE(std::regex_search(entry, value, std::regex("\nTryExec=(.*)\n"))) << entry;
        // Read back as the key file reads a string value.
        EXPECT_EQ(std::regex_replace(value[1].str(), std::regex(R"(\\(.))"), "$1"), installed.launcher().string());
        EXPECT_EQ(makeCommandRunner()->run("/usr/bin/desktop-file-validate", {file.string()}).status, 0) << entry;
    }
}

}  // namespace
}  // namespace quillfen
