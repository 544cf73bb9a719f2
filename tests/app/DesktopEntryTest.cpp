#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "DesktopEntry.h"
#include "LoginItem.h"
#include "platform/CommandRunner.h"
#include "support/CapturedSystemLog.h"
#include "support/DesktopEntryValidation.h"
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
        // Left as it is, GNOME would show the windows as an unknown program's.
        {"its own entry in the user's folder, as written before it named the windows' class",
         [&](auto&) {
             test::writeFile(DesktopEntry::userFile(),
                             *DesktopEntry::text(installed.launcher(), DesktopEntry::Icon::byPath,
                                                 DesktopEntry::Form::beforeWindowClass));
         },
         true},
        // Left as it is, it would still show in the menu once this copy is removed.
        {"its own entry in the user's folder, as written before entries named their program",
         [&](auto&) {
             test::writeFile(DesktopEntry::userFile(),
                             std::regex_replace(ours, std::regex("TryExec=.*\n"), ""));
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
            EXPECT_EQ(DesktopEntry::value(ours, "StartupWMClass"), DesktopEntry::kWindowClass);
            EXPECT_EQ(test::desktopEntryComplaints(user), "") << c.label;
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
    // The system's folders are below one of the test's, which holds no copy.
    const test::TempDir machine;
    const std::string m = machine.path().string();
    const struct {
        const char* what;
        std::optional<std::string> dataDirs;  // none: unset
        std::string prefix;                   // a relative one below the home
        bool byPath;
    } cases[] = {
        {"outside the default folders", std::nullopt, m + "/opt/quillfen", true},
        {"in the default folders", std::nullopt, "/usr/local", false},
        {"in the default folders, the list empty", "", "/usr/local", false},
        {"listed with a trailing slash", m + "/usr/share:" + m + "/opt/quillfen/share/", m + "/opt/quillfen", false},
        {"listed relatively, which is ignored", "opt/quillfen/share:" + m + "/usr/share", m + "/opt/quillfen", true},
        {"the user's own ~/.local", m + "/usr/share", ".local", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        test::ScopedEnv dirs("XDG_DATA_DIRS", c.dataDirs);
        const RunningCopy::Installation installed{home.path() / c.prefix};
        const auto icon = c.byPath ? DesktopEntry::Icon::byPath : DesktopEntry::Icon::byName;
        EXPECT_EQ(DesktopEntry::iconFor(installed), icon);
        // The default folders are the machine's, which may hold a copy installed for everyone: the
        // entry is written where the desktop reads only the test's.
        if (!c.dataDirs.value_or("").empty()) {
            ASSERT_TRUE(DesktopEntry::refresh(installed));
            EXPECT_EQ(test::readFile(DesktopEntry::userFile()),
                      DesktopEntry::text(installed.launcher(), icon));
        }
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
        EXPECT_EQ(test::desktopEntryComplaints(file), "") << entry;
    }
}

// Whoever installed a copy for everyone and then runs the tests of an update: the tests of what
// reads the desktop's entries and programs read only the folders they made. They run again here
// (but the keep-alive wrapper's, which wait for processes for seconds), in a mount namespace of
// their own whose /usr/local holds a copy as the install lays it out (its program in bin, its menu
// entry in share/applications) over what the machine has there.
TEST(DesktopEntry, TheTestsOfEntriesPassBesideACopyInstalledForEveryone) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may lay a folder over /usr/local";
    auto runner = makeCommandRunner(60);
    if (runner->run("/usr/bin/unshare", {"--mount", "--propagation", "private", "/bin/true"}).status != 0)
        GTEST_SKIP() << "this run may not make a mount namespace of its own";
    test::TempDir copy;
    const RunningCopy::Installation everyone{"/usr/local"};
    const auto upper = copy.path() / "upper";
    const auto program = upper / "lib/org.quillfen.Quillfen/bin/quillfen";
    test::writeFile(program, "#!/bin/sh\n");
    std::filesystem::permissions(program, std::filesystem::perms(0755));
    test::writeFile(upper / "lib/org.quillfen.Quillfen/build-info.json",
                    R"({"build": 1, "version": "1.0.0", "sha": "unstamped"})");
    std::filesystem::create_directories(upper / "bin");
    std::filesystem::create_symlink("../lib/org.quillfen.Quillfen/bin/quillfen", upper / "bin/quillfen");
    test::writeFile(upper / "share/applications" / DesktopEntry::kFileName,
                    *DesktopEntry::text(everyone.launcher()));
    std::filesystem::create_directories(copy.path() / "work");
    const auto output = copy.path() / "output";

    const auto outcome = runner->run(
        "/usr/bin/unshare",
        {"--mount", "--propagation", "private", "/bin/sh", "-c",
         "mount -t overlay overlay -o \"lowerdir=/usr/local,upperdir=$1/upper,workdir=$1/work\" /usr/local "
         "2>/dev/null || exit 77; shift; exec \"$@\" >\"$0\" 2>&1",
         output.string(), copy.path().string(), std::filesystem::read_symlink("/proc/self/exe").string(),
         "--gtest_filter=DesktopEntry.*:UrlSchemeRegistration.*:LoginItem.*:StrandedEntries.*:LaunchAgent.*"
         "-DesktopEntry.TheTestsOfEntriesPassBesideACopyInstalledForEveryone:"
         "LaunchAgent.TheWrapperStartsTheApplicationAndFailsOnceTheUsersOwnCopyIsGone:"
         "LaunchAgent.BesideTheRunningCopyTheWrapperStartsNoProgram:"
         "LaunchAgent.TheWrapperEndsWithStatus1WithinTwoSecondsOfAKillOfTheCopy"});
    if (outcome.status == 77) GTEST_SKIP() << "this kernel lays no overlay over /usr/local";
    EXPECT_EQ(outcome.status, 0) << test::readFile(output);
}

}  // namespace
}  // namespace quillfen
