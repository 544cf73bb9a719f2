#include "StrandedEntries.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <regex>

#include "ClaudeFaceInstaller.h"
#include "ClaudeFaceScripts.h"
#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "Support/Paths.h"
#include "UrlSchemeRegistration.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/MemoryUserDefaults.h"
#include "support/RecordingCommandRunner.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Files = std::vector<fs::path>;

const TimePoint kNow = test::at("2026-01-05T09:00:00Z");

// The user's two copies, each with its launcher in place: one in a folder of theirs below a folder
// open to all and sticky, as /tmp is, and one where only they and root may change anything.
struct Copies {
    fs::path sticky;
    RunningCopy::Installation stranded, safe;

    explicit Copies(const fs::path& home)
        : sticky(home / "tmp"), stranded{sticky / "mine"}, safe{home / "opt"} {
        for (const auto& copy : {stranded, safe}) {
            test::writeFile(copy.launcher(), "#!/bin/sh\n");
            fs::permissions(copy.launcher(), fs::perms(0755));
        }
        ::chmod(sticky.c_str(), 01777);
    }
};

// Every entry of ours as an earlier copy wrote it for the copy below the sticky folder, the home
// there too for Claude Code's face.
Files plantStranded(const Copies& copies) {
    const auto launcher = copies.stranded.launcher();
    const auto settings = Paths::home() / ".claude/settings.json";
    test::writeFile(LoginItem::autostartFile(), *LoginItem::desktopEntry(launcher));
    test::writeFile(LaunchAgent::wrapperFile(),
                    LaunchAgent::wrapperScript(copies.stranded.build(), launcher));
    test::writeFile(LaunchAgent::unitFile(), LaunchAgent::unitText(LaunchAgent::wrapperFile()));
    test::writeFile(DesktopEntry::userFile(), *DesktopEntry::text(launcher));
    test::writeFile(UrlSchemeRegistration::choicesFile(),
                    "[Default Applications]\nx-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop\n");
    test::writeFile(settings, std::get<std::string>(ClaudeFaceInstaller::editedSettings(
                                  std::nullopt, Paths::home() / ".ostrel")));
    return {LoginItem::autostartFile(), LaunchAgent::wrapperFile(),           LaunchAgent::unitFile(),
            DesktopEntry::userFile(),   UrlSchemeRegistration::choicesFile(), settings};
}

// Whether `file` is there and names the copy below the sticky folder (its handler line, ours).
bool namesStranded(const fs::path& file, const Copies& copies) {
    if (!fs::exists(file)) return false;
    const auto text = test::readFile(file);
    return text.find(copies.stranded.prefix.string()) != std::string::npos ||
           text.find(DesktopEntry::kFileName) != std::string::npos;
}

// A boot empties a sticky folder, and another user may then make the same path: a copy there hands
// no program to run later by name (the note under the switch says where to install instead), and
// what an earlier copy wrote for it goes at the next start of any copy and with the uninstall, each
// removal logged once, the menu entry's handler line with it. A copy that may write its own
// autostart entry writes it in its place, and Start at login stays on. The user's own entry and ours
// for a copy nobody else can change stay as they are.
TEST(StrandedEntries, NothingNamesACopyBelowAStickyFolderForLaterAndWhatWasWrittenForItGoes) {
    {
        test::TestHome home;
        const Copies copies(home.path());
        EXPECT_EQ(LoginItem::note(LoginItem::obstacle(copies.stranded), LaunchAgent::obstacle(copies.stranded)),
                  "Not started at login: others may change " + copies.sticky.string() +
                      " (anyone may write it). Install Quillfen in a folder only you and the system may change, "
                      "such as ~/.local, to allow it.");
        test::ScopedEnv below("HOME", copies.stranded.prefix.string());
        test::MemoryUserDefaults defaults;
        test::RecordingCommandRunner systemctl;
        EXPECT_EQ(LoginItem::enableOnceIfNeeded(defaults, copies.stranded), LoginItem::State::notRegistered);
        EXPECT_FALSE(LaunchAgent::install(systemctl, copies.stranded));
        EXPECT_FALSE(DesktopEntry::refresh(copies.stranded));
        EXPECT_EQ(ClaudeFaceInstaller::install(Paths::home(), ClaudeFaceScripts::bundled, kNow).settings,
                  ClaudeFaceInstaller::SettingsOutcome::othersCouldChangeScripts);
        for (const auto& file : {LoginItem::autostartFile(), LaunchAgent::unitFile(), LaunchAgent::wrapperFile(),
                                 DesktopEntry::userFile(), Paths::home() / ".claude/settings.json"})
            EXPECT_FALSE(fs::exists(file)) << file;
    }
    // The user's own autostart entry, and ours that they turned off in GNOME's startup settings and
    // in KDE's, which starts nothing.
    const std::function<std::string(const fs::path&)> theirs[] = {
        [](const fs::path& launcher) { return "[Desktop Entry]\nExec=" + launcher.string() + "\n"; },
        [](const fs::path& launcher) {
            return std::regex_replace(*LoginItem::desktopEntry(launcher), std::regex("enabled=true"),
                                      "enabled=false");
        },
        [](const fs::path& launcher) { return *LoginItem::desktopEntry(launcher) + "Hidden=true\n"; },
    };
    for (const auto& autostart : theirs) {
        test::TestHome home;
        const Copies copies(home.path());
        const auto wrapper = LaunchAgent::wrapperScript(copies.safe.build(), copies.safe.launcher());
        const std::pair<fs::path, std::string> kept[] = {
            {LoginItem::autostartFile(), autostart(copies.stranded.launcher())},
            {LaunchAgent::wrapperFile(), wrapper},
            {DesktopEntry::userFile(),
             *DesktopEntry::text(copies.safe.launcher(), DesktopEntry::Icon::byPath)},
        };
        for (const auto& [file, text] : kept)
            test::writeFile(file, text);
        test::RecordingCommandRunner runner;
        EXPECT_EQ(StrandedEntries::takeOut(runner, kNow), std::vector<std::string>{});
        EXPECT_EQ(StrandedEntries::takeOut(runner, kNow, copies.safe), std::vector<std::string>{});
        for (const auto& [file, text] : kept)
            EXPECT_EQ(test::readFile(file), text) << file;
    }

    const std::pair<const char*, std::function<void(const Copies&, const Files&)>> ways[] = {
        {"the start of the other copy",
         [](const Copies& copies, const Files&) {
             test::CapturedSystemLog log;
             test::RecordingCommandRunner runner;
             StrandedEntries::takeOut(runner, kNow, copies.safe);
             const auto why = "others may change " + copies.sticky.string();
             EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                                     [&why](const std::string& line) { return line.ends_with(why); }),
                       3)
                 << testing::PrintToString(log.lines);
             test::MemoryUserDefaults defaults;
             defaults.setBoolean(LoginItem::kAutoEnabledOnceKey, true);
             EXPECT_EQ(LoginItem::enableOnceIfNeeded(defaults, copies.safe), LoginItem::State::enabled);
         }},
        // The entry it took out is none of the user's choosing.
        {"the uninstall of another copy",
         [](const Copies& copies, const Files&) {
             makeUserDefaults()->setBoolean(LoginItem::kAutoEnabledOnceKey, true);
             EXPECT_EQ(makeCommandRunner()
                           ->run(QUILLFEN_UNREGISTER, {(copies.sticky / "../other").string()})
                           .status,
                       0);
             EXPECT_EQ(makeUserDefaults()->boolean(LoginItem::kAutoEnabledOnceKey), std::nullopt);
         }},
#ifdef QUILLFEN_APP_EXECUTABLE
        // Run from its build folder, it writes nothing of its own.
        {"the start of the application",
         [](const Copies& copies, const Files& planted) {
             test::ChildProcess app({QUILLFEN_BINARY},
                                    {{"QT_QPA_PLATFORM", "offscreen"},
                                     {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"},
                                     {"TAVRYN_LOCATION_MODE", "none"},
                                     {"TAVRYN_CLOUD_MIND", "0"}});
             test::waitUntil([&] {
                 return std::none_of(planted.begin(), planted.end(),
                                     [&](const fs::path& file) { return namesStranded(file, copies); });
             });
             ::kill(app.pid(), SIGTERM);
             EXPECT_TRUE(app.waitForExit(test::kPatience).has_value());
         }},
#endif
    };
    for (const auto& [way, run] : ways) {
        SCOPED_TRACE(way);
        test::TestHome home;
        const Copies copies(home.path());
        test::ScopedEnv below("HOME", copies.stranded.prefix.string());
        const auto planted = plantStranded(copies);
        run(copies, planted);
        for (const auto& file : planted)
            EXPECT_FALSE(namesStranded(file, copies)) << file;
    }
}

}  // namespace
}  // namespace quillfen
