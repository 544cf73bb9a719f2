#include "StrandedEntries.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "ClaudeFaceInstaller.h"
#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "Support/PathWalk.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"
#include "UrlSchemeRegistration.h"

namespace quillfen::StrandedEntries {

namespace {

namespace fs = std::filesystem;

std::string whyLater(const fs::path& path) {
    return PathWalk::whyOthersCouldChange(path, PathWalk::When::later);
}

// An entry, a unit or a wrapper of ours is a few lines; anything else reads as nothing.
std::string readOurs(const fs::path& file) {
    auto contents = SafeFile::read(file, DesktopEntry::kMaxEntryBytes);
    return contents.wasRead() ? std::move(contents.bytes) : std::string();
}

bool holdsLine(std::string_view text, std::string_view wanted) {
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        if (text.substr(0, end) == wanted) return true;
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return false;
}

std::string lineOf(std::string_view text, std::string_view key) {
    const auto at = text.find("\n" + std::string(key));
    if (at == std::string_view::npos) return {};
    const auto line = text.substr(at + 1);
    return std::string(line.substr(0, line.find('\n')));
}

// What was taken out, a sentence each, logged once: a log line has no full stop, a sentence said
// has.
struct Removals {
    std::vector<std::string> said;

    void tell(const char* category, const std::string& line) {
        SystemLog::info(category, line);
        said.push_back(line + ".");
    }

    bool remove(const fs::path& file, const char* category, const std::string& what) {
        if (const auto error = SafeFile::remove(file)) {
            const std::string line =
                "could not take out " + what + " " + file.string() + ": " + error.message();
            SystemLog::notice(category, line);
            said.push_back(line + ".");
            return false;
        }
        return true;
    }
};

void takeOutAutostart(Removals& removals, const std::optional<RunningCopy::Installation>& starting,
                      UserDefaults* defaults) {
    const auto program = LoginItem::programOfOurs();
    if (!program) return;
    const auto why = whyLater(*program);
    if (why.empty() || (starting && LoginItem::obstacle(starting).empty())) return;
    const auto file = LoginItem::autostartFile();
    if (!removals.remove(file, "login-item", "the autostart entry")) return;
    removals.tell("login-item", "took out the autostart entry " + file.string() + ": it started " +
                                    program->string() + ", and " + why);
    if (defaults) LoginItem::forgetAutomaticEnable(*defaults);
}

void takeOutKeepAlive(Removals& removals, CommandRunner& runner) {
    const auto wrapper = LaunchAgent::wrapperFile(), unit = LaunchAgent::unitFile();
    const auto launcher = LaunchAgent::launcherIn(readOurs(wrapper));
    const bool unitIsOurs = holdsLine(readOurs(unit), lineOf(LaunchAgent::unitText(wrapper), "ExecStart="));
    if (!launcher && !unitIsOurs) return;
    // systemd starts the wrapper by its name, and the wrapper the launcher by its.
    fs::path started = wrapper;
    auto why = whyLater(wrapper);
    if (why.empty() && launcher) {
        started = *launcher;
        why = whyLater(started);
    }
    if (why.empty()) return;
    // Stopped first, so that nothing starts the application again while it goes. The application
    // itself lives in a session of its own and runs on.
    runner.run(LaunchAgent::kSystemctl, {"--user", "disable", "--now", LaunchAgent::kUnitName});
    const bool unitGone = !unitIsOurs || removals.remove(unit, "launch-agent", "the keep-alive unit");
    const bool wrapperGone = !launcher || removals.remove(wrapper, "launch-agent", "its wrapper");
    runner.run(LaunchAgent::kSystemctl, {"--user", "daemon-reload"});
    if (unitGone && wrapperGone)
        removals.tell("launch-agent", "took out the keep-alive service " + unit.string() +
                                          " and its wrapper: it started " + started.string() + ", and " +
                                          why);
}

void takeOutMenuEntry(Removals& removals, CommandRunner& runner) {
    const auto file = DesktopEntry::userFile();
    const auto text = readOurs(file);
    const auto program = DesktopEntry::program(text);
    if (!program || !DesktopEntry::isEntryFor(text, *program)) return;
    const auto why = whyLater(*program);
    if (why.empty() || !removals.remove(file, "desktop-entry", "the menu entry")) return;
    removals.tell("desktop-entry", "took out the menu entry " + file.string() + ": it started " +
                                       program->string() + ", and " + why);
    // The desktop looks handlers up in the folder's cache, which would still name the entry.
    UrlSchemeRegistration::updateDatabase(runner);
    if (auto said = UrlSchemeRegistration::removeFromChoicesFor(
            RunningCopy::Installation{program->parent_path().parent_path()});
        !said.empty())
        removals.said.push_back(std::move(said));
}

void takeOutClaudeFace(Removals& removals, TimePoint now) {
    const auto home = Paths::home();
    const auto why = whyLater(home / ".ostrel" / (std::string(ClaudeFaceInstaller::kHookScript) + ".sh"));
    if (why.empty()) return;
    const auto reason = "Claude Code ran scripts in ~/.ostrel, and " + why;
    const auto face = ClaudeFaceInstaller::uninstall(home, now, reason);
    // The settings' removal is logged as it is made.
    if (face.settingsChanged) {
        removals.said.push_back(
            "took the stone's status line and prompt hook out of ~/.claude/settings.json, after a "
            "copy of it" +
            std::string(face.scripts.empty() ? "" : ", and their scripts out of ~/.ostrel") + ": " + reason +
            ".");
    } else if (!face.scripts.empty()) {
        removals.tell("claude-face", "took the stone's scripts out of ~/.ostrel: " + reason);
    }
}

}  // namespace

std::vector<std::string> takeOut(CommandRunner& runner, TimePoint now,
                                 const std::optional<RunningCopy::Installation>& starting, UserDefaults* defaults) {
    Removals removals;
    takeOutAutostart(removals, starting, defaults);
    takeOutKeepAlive(removals, runner);
    takeOutMenuEntry(removals, runner);
    takeOutClaudeFace(removals, now);
    return removals.said;
}

}  // namespace quillfen::StrandedEntries
