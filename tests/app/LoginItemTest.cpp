#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "LaunchAgent.h"
#include "LoginItem.h"
#include "support/CapturedSystemLog.h"
#include "support/MemoryUserDefaults.h"
#include "support/RecordingCommandRunner.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using LoginItem::State;

const RunningCopy::Installation kInstalled{"/opt"};

TEST(LoginItem, TurnsItselfOnOnceAtTheFirstLaunchThatFindsNoEntry) {
    const struct {
        const char* label;
        std::optional<bool> flag;
        std::function<void()> arrange;
        State result;
        std::optional<bool> flagAfter;
        std::vector<std::string> logged;
        std::optional<RunningCopy::Installation> installed = kInstalled;
    } cases[] = {
        {"first launch", std::nullopt, [] {}, State::enabled, true,
         {"login-item: auto-enabling login item once (start on desktop start)", "login-item: registered as a login item"}},
        {"removed by the user after the automatic enable", true, [] {}, State::notRegistered, true, {}},
        {"unavailable", std::nullopt, [] { fs::create_directories(LoginItem::autostartFile()); }, State::unavailable,
         std::nullopt, {}},
        {"refused", std::nullopt, [] {}, State::notRegistered, std::nullopt,
         {"login-item: auto-enabling login item once (start on desktop start)",
          "login-item: login-item registration deferred: no Exec line holds /opt/a path no Exec line holds\\n/bin/"
          "quillfen"},
         RunningCopy::Installation{"/opt/a path no Exec line holds\n"}},
        // The user's own link, to a disk that is not there now: one line, with the true reason.
        {"the autostart folder a link that leads nowhere", std::nullopt,
         [] {
             fs::create_directories(LoginItem::autostartFile().parent_path().parent_path());
             fs::create_directory_symlink("/nonexistent/quillfen-test-disk/autostart",
                                          LoginItem::autostartFile().parent_path());
         },
         State::notRegistered, std::nullopt,
         {"login-item: auto-enabling login item once (start on desktop start)",
          "login-item: login-item registration deferred: a link that leads nowhere"}},
        // This test program is such a copy; the installed copy will still turn itself on.
        {"a copy run from its build folder", std::nullopt, [] {}, State::notRegistered, std::nullopt,
         {"login-item: login item not written: this copy does not run from the installed build (" +
          RunningCopy::recorded().build().string() + ")"},
         RunningCopy::installed()},
    };
    for (const auto& c : cases) {
        test::TestHome home;
        test::MemoryUserDefaults defaults;
        if (c.flag) defaults.setBoolean("loginItemAutoEnabledOnce", *c.flag);
        c.arrange();
        test::CapturedSystemLog log;
        EXPECT_EQ(LoginItem::enableOnceIfNeeded(defaults, c.installed), c.result) << c.label;
        EXPECT_EQ(defaults.boolean("loginItemAutoEnabledOnce"), c.flagAfter) << c.label;
        EXPECT_EQ(log.lines, c.logged) << c.label;
    }
}

// A home shared with a group (0770, a group the user is not alone in): the note says so in a
// person's words, once for the entry and the keep-alive alike, and the start after the home is
// the user's alone turns the entry on as the first would have.
TEST(LoginItem, AHomeSharedWithAGroupIsSaidPlainlyAndTheStartAfterItIsTheUsersTurnsItOn) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give the home to another group";
    test::TestHome home;
    const auto& dir = home.path();
    ASSERT_EQ(::chown(dir.c_str(), static_cast<uid_t>(-1), test::kAnotherUser), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0770), 0);
    const RunningCopy::Installation installed{dir / ".local"};
    const group* shared = ::getgrgid(test::kAnotherUser);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(LoginItem::note(LoginItem::obstacle(installed), LaunchAgent::obstacle(installed)),
              "Not started at login: others may change " + dir.string() + " (its group " + shared->gr_name +
                  " may write it). Ask whoever runs this machine to allow it.");

    test::MemoryUserDefaults defaults;
    test::CapturedSystemLog log;
    EXPECT_EQ(LoginItem::enableOnceIfNeeded(defaults, installed), State::notRegistered);
    ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
    EXPECT_EQ(LoginItem::enableOnceIfNeeded(defaults, installed), State::enabled);
    EXPECT_EQ(defaults.boolean("loginItemAutoEnabledOnce"), true);
    const std::string once = "login-item: auto-enabling login item once (start on desktop start)";
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             once, "login-item: login-item registration deferred: others may change " + dir.string(),
                             once, "login-item: registered as a login item"}));
}

// A copy installed with its launcher in place, as a start finds its own.
RunningCopy::Installation installedAt(const fs::path& prefix) {
    const RunningCopy::Installation copy{prefix};
    test::writeFile(copy.launcher(), "#!/bin/sh\n");
    fs::permissions(copy.launcher(), fs::perms(0755));
    return copy;
}

// The copy for everyone started first, then the user's own: at login the desktop and the
// keep-alive service start the one copy, the user's.
TEST(LoginItem, TheEntryStartsTheCopyTheKeepAliveStartsTheOneThatStartedLast) {
    test::TestHome home;
    test::TempDir system;
    const auto everyone = installedAt(system.path() / "usr/local"), own = installedAt(home.path() / ".local");
    test::MemoryUserDefaults defaults;
    test::RecordingCommandRunner systemctl;
    for (const auto& copy : {everyone, own}) {
        ASSERT_TRUE(LaunchAgent::install(systemctl, copy));
        LoginItem::enableOnceIfNeeded(defaults, copy);
    }
    EXPECT_EQ(test::readFile(LoginItem::autostartFile()), LoginItem::desktopEntry(own.launcher()));
    EXPECT_EQ(test::readFile(LaunchAgent::wrapperFile()), LaunchAgent::wrapperScript(own.build(), own.launcher()));
    EXPECT_EQ(LoginItem::state(own), State::enabled);
    EXPECT_EQ(LoginItem::state(everyone), State::notRegistered);
}

// What a start and the settings switch make of the entry they find: "Start at login" reads on only
// for one that starts this copy's program; one of ours that starts another copy or a program that
// is gone is written for this copy, and so, at a start, is this copy's in an earlier form; one the
// user wrote or edited is left as it is.
TEST(LoginItem, AnEntryOfOursForAnotherCopyOrAProgramThatIsGoneIsWrittenForTheCopyThatStarts) {
    enum Outcome { kept, rewritten, rewrittenAtAStart, leftAsItIs };
    const struct {
        const char* label;
        std::function<std::string(const RunningCopy::Installation& own, const RunningCopy::Installation& other)> entry;
        Outcome outcome;
    } cases[] = {
        {"this copy's", [](auto& own, auto&) { return *LoginItem::desktopEntry(own.launcher()); }, kept},
        {"another copy's", [](auto&, auto& other) { return *LoginItem::desktopEntry(other.launcher()); }, rewritten},
        // Unmarked, its start at login would open the rhythm window beside the keep-alive's copy.
        {"this copy's, as written before it marked its start as no person's choice",
         [](auto& own, auto&) { return *LoginItem::desktopEntry(own.launcher(), LoginItem::Form::unmarked); },
         rewrittenAtAStart},
        {"a removed copy's, as written before entries named their program",
         [](auto&, auto&) {
             return "[Desktop Entry]\nType=Application\nName=Quillfen\nExec=\"/opt/removed/bin/quillfen\"\n"
                    "Terminal=false\nX-GNOME-Autostart-enabled=true\n";
         },
         rewritten},
        {"another copy's, with a delay the user added",
         [](auto&, auto& other) { return *LoginItem::desktopEntry(other.launcher()) + "X-GNOME-Autostart-Delay=10\n"; },
         leftAsItIs},
    };
    for (const auto& c : cases) {
        for (const bool bySwitch : {false, true}) {
            SCOPED_TRACE(std::string(c.label) + (bySwitch ? ", turned on" : ", at a start"));
            test::TestHome home;
            test::TempDir elsewhere;
            // A prefix the entry's quoting must carry through, both ways.
            const auto own = installedAt(home.path() / "Bob's \"Apps\" $HOME `x` 100% \\ it");
            const auto entry = c.entry(own, installedAt(elsewhere.path() / "opt"));
            const auto file = LoginItem::autostartFile();
            test::writeFile(file, entry);
            const bool startsOwn = c.outcome == kept || c.outcome == rewrittenAtAStart;
            const bool writes = c.outcome == rewritten || (c.outcome == rewrittenAtAStart && !bySwitch);
            EXPECT_EQ(LoginItem::state(own), startsOwn ? State::enabled : State::notRegistered);

            test::MemoryUserDefaults defaults;
            test::CapturedSystemLog log;
            const State after = bySwitch ? LoginItem::enable(own) : LoginItem::enableOnceIfNeeded(defaults, own);
            EXPECT_EQ(after, c.outcome == leftAsItIs ? State::notRegistered : State::enabled);
            EXPECT_EQ(LoginItem::state(own), after);
            EXPECT_EQ(test::readFile(file), writes ? *LoginItem::desktopEntry(own.launcher()) : entry);
            if (c.outcome == leftAsItIs) {
                EXPECT_EQ(log.lines, std::vector<std::string>{"login-item: autostart entry left as it is: " +
                                                              file.string() + " is an entry Quillfen did not write"});
            } else {
                EXPECT_EQ(log.lines.size(), writes ? 1u : 0u);
            }
        }
    }
}

TEST(LoginItem, TheEntryStartsTheInstalledLauncherAndTurningItOffRemovesIt) {
    test::TestHome home;
    const RunningCopy::Installation awkward{"/home/bob/My \"Apps\" $HOME `x` 100% \\ it's"};
    ASSERT_EQ(LoginItem::enable(awkward), State::enabled);
    const auto entry = test::readFile(home.path() / ".config/autostart/org.quillfen.Quillfen.desktop");
    // Read back as a desktop reads Exec: the key file's escapes, the quoted argument, then "%%".
    const auto at = entry.find("\nExec=\"") + 7;
    std::string unescaped, argument;
    for (auto i = at; entry[i] != '\n'; ++i)
        unescaped += entry[i] == '\\' ? entry[++i] : entry[i];
    std::size_t i = 0;
    for (; i < unescaped.size() && unescaped[i] != '"'; ++i) {
        if (unescaped[i] == '\\' || (unescaped[i] == '%' && unescaped[i + 1] == '%')) ++i;
        argument += unescaped[i];
    }
    EXPECT_EQ(argument, awkward.launcher().string());
    // Marked as a start no person chose: at login, beside the keep-alive's, it opens nothing.
    EXPECT_EQ(unescaped.substr(i), "\" --background");

    test::CapturedSystemLog log;
    LoginItem::disableIfRegistered();
    LoginItem::disableIfRegistered();
    EXPECT_EQ(LoginItem::state(), State::notRegistered);
    EXPECT_EQ(log.lines, std::vector<std::string>{
                               "login-item: retired the SMAppService login item (LaunchAgent is now sole always-on)"});
}

}  // namespace
}  // namespace quillfen
