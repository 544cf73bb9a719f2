// Takes out what the installed application wrote for the user who runs it and what it put into
// other programs' settings; asked to, the installed files themselves. The uninstall runs it.
// Every place is found one name at a time and removed through the folder the walk found, so that
// nobody's link on the way leads a removal anywhere else; a file the application writes goes only
// when it names the installation, and a setting only when it is the one the application put in.
// It says what it did and what it had to leave, one line each.
//
//   quillfen_unregister [--keep-alive] [PREFIX]
//       for the installation below PREFIX (by default the prefix this was built for): the
//       keep-alive service and its wrapper, and with the last copy its GNOME Shell extension
//       turned off for the user (with --keep-alive, nothing more), the autostart
//       entry (written to start a copy that stays, where one can take it; removed, Start at
//       login turns itself on again at the next install's first start), the menu entry (the
//       menu folder's desktop database brought up to date after, and whenever it still names the
//       entry an install took out with its files), and the application as the
//       handler of tavryn-stone: addresses (with a mimeapps.list that held nothing else, and
//       only where no entry of another copy answers it). What every copy shares goes only with
//       the last: the cache folder with the updater's builds and the single-instance lock
//       (emptied holding that lock, which a running copy keeps), the stone's status line and
//       prompt hook in Claude Code's settings with the two scripts they run (the user's own
//       status line back, where ours replaced it). A folder that held nothing but an entry it
//       removed goes too, and so does any entry of ours, whichever copy wrote it, that names a
//       program through a folder others may write. An autostart entry the user turned off in
//       their desktop's startup settings stays as it is. Last, what stays of the user's own
//       (their data, journals and settings), each only where they have it. Succeeds either way.
//   quillfen_unregister --installed PREFIX BUILD_FOLDER [STAGE]
//       ends the processes that run the installed program for the person who asked (the user
//       who ran sudo, else root; a user their own) and waits a while for them to have ended;
//       other users' copies go on until they quit, and how many and whose is said. Then removes
//       the files BUILD_FOLDER/install_manifest.txt names, the installed build as an update may
//       have left it, and the folders BUILD_FOLDER/install_folders.txt names that are empty then,
//       each below STAGE (the install's DESTDIR) when one is given, and each only below PREFIX;
//       then those two lists. As root, only lists that nobody but root and the user who ran sudo
//       could change, each name only through folders that nobody but root may write, and the
//       installed build only when it holds an installed build's information; what stays is said.
//       Fails when the manifest cannot be read or, as root, others could change the lists.
//   quillfen_unregister --judge PLACE...
//       says why someone other than the user and root could change a folder on the way to a PLACE,
//       as far as it exists, and fails; the install asks before it writes anything, so that every
//       copy it installs can be removed under the same rules.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ClaudeFaceInstaller.h"
#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "Mind/ProcessRunner.h"
#include "RunningCopy.h"
#include "RunningCopyWatch.h"
#include "SelfUpdater.h"
#include "Signals/AgentLogFiles.h"
#include "SingleInstance.h"
#include "StrandedEntries.h"
#include "Support/PathWalk.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/Text.h"
#include "Update/BuildInfo.h"
#include "UrlSchemeRegistration.h"
#include "platform/UserDefaults.h"
#include "platform/linux/ApplicationActivationsLinux.h"

using namespace quillfen;

namespace {

namespace fs = std::filesystem;
using PathWalk::Fd;
using PathWalk::Kind;

// A unit or a wrapper is a few lines, as a desktop entry is.
constexpr std::size_t kMaxEntryBytes = DesktopEntry::kMaxEntryBytes;
// An install's lists name a few dozen files.
constexpr std::size_t kMaxListBytes = 4u << 20;

// One line for the person, on its line whatever the names in it hold: a name someone else chose
// (another copy's entry, a line of a list others could have written) is shown with its control
// characters escaped.
void say(std::string line) {
    if (line.empty()) return;
    line.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(line.front())));
    std::printf("%s\n", Text::controlsEscaped(line).c_str());
}

// The non-empty lines of a text.
std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    AgentLogFiles::forEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// The line of a text the application writes that names the installation: the one that begins
// with `key`.
std::string lineOf(const std::optional<std::string>& text, std::string_view key) {
    for (auto& line : linesOf(text.value_or("")))
        if (line.starts_with(key)) return line;
    return {};
}

enum class Holds { nothing, ours, another, unreadable };

// Whether a file the application writes holds one of `ours`, read as the application reads its
// own: through the walk, following only the user's own link, never waiting on a pipe, never past
// the cap. Whatever is refused is said.
Holds holds(const fs::path& file, const std::vector<std::string>& ours) {
    if (const auto place = SafeFile::ownPlace(file, Kind::file); place.refused()) {
        say("left " + file.string() + " as it was: " + place.refusal + ".");
        return Holds::unreadable;
    }
    const auto contents = SafeFile::read(file, kMaxEntryBytes);
    if (contents.status == SafeFile::Contents::Status::missing) return Holds::nothing;
    if (!contents.wasRead()) {
        say("left " + file.string() + " as it was: it is not a file of yours that could be read.");
        return Holds::unreadable;
    }
    for (const auto& line : linesOf(contents.bytes))
        if (std::find(ours.begin(), ours.end(), line) != ours.end()) return Holds::ours;
    return Holds::another;
}

// The cache update-desktop-database writes into a folder with no entry left: its header alone.
constexpr std::string_view kEmptyMimeCache = "[MIME Cache]\n";

// Takes out the MIME cache of an open folder when it is all the folder holds and names no handler:
// the refresh after our entry went wrote it there, and it would keep the folder alive.
void removeEmptyMimeCache(int folder) {
    constexpr const char* name = "mimeinfo.cache";
    if (PathWalk::namesIn(folder) != std::vector<std::string>{name}) return;
    const Fd cache(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!cache.ok() || ::fstat(cache.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        static_cast<std::size_t>(info.st_size) != kEmptyMimeCache.size())
        return;
    std::string bytes(kEmptyMimeCache.size(), '\0');
    if (SafeFile::readAt(cache.get(), 0, bytes) == bytes.size() && bytes == kEmptyMimeCache) ::unlinkat(folder, name, 0);
}

// After an entry went from `file`'s folder: that folder when nothing else is left in it (but a MIME
// cache that names nothing), and so on up `levels` folders (~/.config/systemd/user, then
// ~/.config/systemd). An empty folder holds nothing of the user's; one with anything in it stays,
// as the removal of a folder that is not empty fails. Found by the walk, removed through the
// folder that holds it.
void removeFoldersLeftEmpty(const fs::path& file, int levels) {
    auto folder = file.parent_path();
    for (; levels > 0; --levels, folder = folder.parent_path()) {
        const auto holder = PathWalk::walk(folder.parent_path(), Kind::folder);
        if (!holder.ok()) return;
        const std::string name = folder.filename();
        const Fd inner(::openat(holder.folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK |
                                                                       O_CLOEXEC));
        if (!inner.ok()) return;
        removeEmptyMimeCache(inner.get());
        if (::unlinkat(holder.folder.get(), name.c_str(), AT_REMOVEDIR) != 0) return;
        say("removed " + folder.string() + ", left empty.");
    }
}

// Whether the desktop database of a menu folder names our entry as a handler.
bool mimeCacheNamesOurEntry(const fs::path& folder) {
    constexpr std::size_t kMaxCacheBytes = 4u << 20;
    const auto cache = SafeFile::read(folder / "mimeinfo.cache", kMaxCacheBytes);
    if (!cache.wasRead()) return false;
    bool names = false;
    AgentLogFiles::forEachLine(cache.bytes, [&names](std::string_view line) {
        const auto handlers = line.find('=');
        if (handlers == std::string_view::npos) return;
        for (std::string_view rest = line.substr(handlers + 1); !rest.empty();) {
            const auto end = std::min(rest.find(';'), rest.size());
            names = names || rest.substr(0, end) == DesktopEntry::kFileName;
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    });
    return names;
}

// Whether it went.
bool removeFile(const fs::path& file, const std::string& what) {
    if (auto error = SafeFile::remove(file)) {
        say("could not remove " + what + " " + file.string() + ": " + error.message() + ".");
        return false;
    }
    say("removed " + what + " " + file.string() + ".");
    return true;
}

bool removeIfOurs(const fs::path& file, const std::vector<std::string>& ours, const std::string& what) {
    return holds(file, ours) == Holds::ours && removeFile(file, what);
}

void removeKeepAlive(const RunningCopy::Installation& installation, CommandRunner& runner) {
    const auto wrapper = LaunchAgent::wrapperFile();
    const std::vector<std::string> runsOurs{
        lineOf(LaunchAgent::wrapperScript(installation.build(), installation.launcher()), "BIN=")};
    if (holds(wrapper, runsOurs) != Holds::ours) return;
    // Stopped first, so that nothing starts the application again while it goes.
    runner.run(LaunchAgent::kSystemctl, {"--user", "disable", "--now", LaunchAgent::kUnitName});
    const auto unit = LaunchAgent::unitFile();
    if (removeIfOurs(unit, {lineOf(LaunchAgent::unitText(wrapper), "ExecStart=")}, "the keep-alive service"))
        removeFoldersLeftEmpty(unit, 2);
    removeIfOurs(wrapper, runsOurs, "its wrapper");
    runner.run(LaunchAgent::kSystemctl, {"--user", "daemon-reload"});
}

// The copies of the application that stay for this user, as the session names them: the one the
// keep-alive wrapper starts, the one the menu entry the desktop finds first starts, the one that
// runs and holds the single-instance lock.
std::vector<RunningCopy::Installation> copiesThatStay(const RunningCopy::Installation& leaving) {
    std::vector<RunningCopy::Installation> copies;
    const auto program = SingleInstance::holdersProgram(Paths::cacheDirectory());
    for (const auto& copy : {LaunchAgent::copyItStarts(), DesktopEntry::copyOfAnotherEntry(leaving),
                             program ? RunningCopy::installationOf(*program) : std::nullopt}) {
        if (copy && *copy != leaving && std::find(copies.begin(), copies.end(), *copy) == copies.end())
            copies.push_back(*copy);
    }
    return copies;
}

constexpr const char* kGsettings = "/usr/bin/gsettings";
constexpr double kGsettingsDeadlineSeconds = 10;

// The items of a list of strings as gsettings prints it ("['a', 'b']", "@as []"), each as it
// stands there, quotes and all; nothing for any other text.
std::optional<std::vector<std::string>> quotedItems(std::string_view text) {
    const auto trimmed = [](std::string_view words) {
        return Text::trimmedWhere(words, [](char32_t c) { return c == ' ' || c == '\n'; });
    };
    text = trimmed(text);
    if (text.starts_with("@as ")) text.remove_prefix(4);
    if (!text.starts_with('[') || !text.ends_with(']')) return std::nullopt;
    text = trimmed(text.substr(1, text.size() - 2));
    std::vector<std::string> items;
    while (!text.empty()) {
        const char quote = text.front();
        if (quote != '\'' && quote != '"') return std::nullopt;
        std::size_t end = 1;
        while (end < text.size() && text[end] != quote)
            end += text[end] == '\\' ? 2 : 1;
        if (end >= text.size()) return std::nullopt;
        items.emplace_back(text.substr(0, end + 1));
        text = trimmed(text.substr(end + 1));
        if (text.starts_with(','))
            text = trimmed(text.substr(1));
        else if (!text.empty())
            return std::nullopt;
    }
    return items;
}

// The extensions the user turned on, each as gsettings quotes it; nothing where GNOME Shell's
// settings are not installed.
std::optional<std::vector<std::string>> enabledExtensions() {
    const auto listed = SystemProcessRunner().run(
        kGsettings, {"get", "org.gnome.shell", "enabled-extensions"}, kGsettingsDeadlineSeconds, {});
    const auto* text = std::get_if<std::string>(&listed);
    return text ? quotedItems(*text) : std::nullopt;
}

// Takes the application's GNOME Shell extension, in either form, out of the extensions the user has
// turned on, before its files go: a running shell turns it off at once, and no login looks for it
// again. Only with the last copy, whose extension it is. What the settings hold afterwards is read
// back: without the session's bus, gsettings may say nothing of a write that did not take.
void turnOffGnomeExtension(const RunningCopy::Installation& installation) {
    if (::access(kGsettings, X_OK) != 0) return;
    std::vector<std::string> ours;
    for (const int version : {43, 45})
        ours.push_back("'" + gnomeFocusExtension(version) + "'");
    const auto isOurs = [&ours](const std::string& item) {
        return std::find(ours.begin(), ours.end(), item) != ours.end();
    };
    const auto items = enabledExtensions();
    if (!items || std::none_of(items->begin(), items->end(), isOurs)) return;
    if (const auto stays = copiesThatStay(installation); !stays.empty()) {
        say("left the GNOME Shell extension on: the copy in " + stays.front().prefix.string() + " stays.");
        return;
    }
    std::string value;
    for (const auto& item : *items)
        if (!isOurs(item)) value += (value.empty() ? "" : ", ") + item;
    SystemProcessRunner().run(
        kGsettings,
        {"set", "org.gnome.shell", "enabled-extensions", value.empty() ? "@as []" : "[" + value + "]"},
        kGsettingsDeadlineSeconds, {});
    const auto after = enabledExtensions();
    if (after && std::none_of(after->begin(), after->end(), isOurs)) {
        say("turned off the GNOME Shell extension for you.");
    } else {
        say("could not turn off the GNOME Shell extension: run gnome-extensions disable " +
            gnomeFocusExtension(43) + " (GNOME 43 and 44) or gnome-extensions disable " +
            gnomeFocusExtension(45) + " (GNOME 45 and later).");
    }
}

// The user's settings, where their folder is (opening them makes it): an entry the uninstall takes
// out is forgotten there, so that the next start of a copy installed again turns Start at login on
// as the first start did.
std::unique_ptr<UserDefaults> settingsIfAny() {
    if (!PathWalk::walk(Paths::configHome() / Paths::kAppId, Kind::folder).ok()) return nullptr;
    return makeUserDefaults();
}

void removeEntries(const RunningCopy::Installation& installation, CommandRunner& runner, UserDefaults* settings,
                   bool turnedOff) {
    const auto launcher = installation.launcher();
    const std::vector<std::string> startsOurs{
        lineOf(LoginItem::desktopEntry(launcher), "Exec="),
        lineOf(LoginItem::desktopEntry(launcher, LoginItem::Form::unmarked), "Exec="),
        lineOf(DesktopEntry::text(launcher), "Exec=")};
    // Start at login stays as it was for the copies that stay: on, it starts one of them. One the
    // user turned off in their desktop's startup settings is their choice, kept for the next copy.
    const auto autostart = LoginItem::autostartFile();
    if (turnedOff) {
        say("left the autostart entry " + autostart.string() +
            " as it is: you turned it off in your desktop's startup settings.");
    } else if (holds(autostart, startsOurs) == Holds::ours) {
        if (const auto stays = LoginItem::handOver(installation, copiesThatStay(installation))) {
            say("the autostart entry " + autostart.string() + " now starts the copy in " +
                stays->prefix.string() + ", which stays.");
        } else if (removeFile(autostart, "the autostart entry")) {
            removeFoldersLeftEmpty(autostart, 1);
            if (settings) LoginItem::forgetAutomaticEnable(*settings);
        }
    }
    const auto menuEntry = DesktopEntry::userFile();
    switch (holds(menuEntry, startsOurs)) {
        case Holds::ours:
            if (!removeFile(menuEntry, "the menu entry")) return;
            break;
        case Holds::nothing:
            // The install below ~/.local took its own entry out with its files; the cache a start
            // made when it wrote that entry again still names it.
            if (!mimeCacheNamesOurEntry(menuEntry.parent_path())) return;
            break;
        case Holds::another:
        case Holds::unreadable:
            return;
    }
    // The desktop looks handlers up in the folder's cache, which would still name the entry.
    if (UrlSchemeRegistration::updateDatabase(runner) == UrlSchemeRegistration::DatabaseUpdate::failed) {
        say("left " + (menuEntry.parent_path() / "mimeinfo.cache").string() +
            " as it was: update-desktop-database could not bring it up to date, and it may still name the "
            "removed menu entry as the handler of tavryn-stone: addresses.");
        return;
    }
    removeFoldersLeftEmpty(menuEntry, 1);
}

// A folder of the application's own, emptied as the updater empties its work folder: a folder of
// the user's alone, found by the walk and emptied through its descriptor.
void removeOwnFolder(const fs::path& path, const std::string& what) {
    if (PathWalk::walk(path, Kind::folder).error == ENOENT) return;
    const auto folder = PathWalk::privateFolder(path);
    if (!folder.ok()) {
        const std::string why = folder.refusal.empty() ? std::strerror(folder.error) : folder.refusal;
        SafeFile::refuse(path, why);
        say("left " + path.string() + " as it was: " + why + ".");
        return;
    }
    PathWalk::emptyFolder(folder.fd.get());
    // The folder itself by its name in the one that holds it: only an empty folder goes so.
    const auto holder = PathWalk::walk(path.parent_path(), Kind::folder);
    if (holder.ok()) ::unlinkat(holder.folder.get(), path.filename().c_str(), AT_REMOVEDIR);
    say("removed " + what + " " + path.string() + ".");
}

// The updater's builds, then the rest of the cache with the single-instance lock, all while
// holding the lock: a copy that starts meanwhile is turned away, or keeps the lock file it made.
// The copies of the installation that leaves have ended by now. False when a copy holds the lock,
// one that started since the look for a copy that stays: the cache stays with it.
bool removeCache() {
    using Outcome = SingleInstance::Removal::Outcome;
    const auto cache = Paths::cacheDirectory();
    const auto removal = SingleInstance::removeHoldingTheLock(cache, [] {
        removeOwnFolder(SelfUpdater::Setup::runningCopy().workFolder, "the builds the updater kept in");
    });
    switch (removal.outcome) {
        case Outcome::removed:
            say("removed the application's cache folder " + cache.string() + ".");
            break;
        case Outcome::heldElsewhere:
            return false;
        case Outcome::refused:
            SafeFile::refuse(cache, removal.why);
            say("left " + cache.string() + " as it was: " + removal.why + ".");
            break;
        case Outcome::notThere:
            break;
    }
    return true;
}

// Whether anything is at `file`: what cannot be looked at is taken to be there.
bool isThere(const fs::path& file) {
    const auto found = PathWalk::walk(file, Kind::file);
    return found.exists || !found.refusal.empty() || (found.error != 0 && found.error != ENOENT);
}

// Whether the folder, found as the user's, holds anything but `except`: only what was looked at
// is said to be there.
bool holdsMoreThan(const fs::path& path, const std::vector<std::string>& except = {}) {
    const auto folder = PathWalk::walk(path, Kind::folder);
    if (!folder.ok()) return false;
    const auto names = PathWalk::namesIn(folder.folder.get());
    return std::any_of(names.begin(), names.end(), [&except](const std::string& name) {
        return std::find(except.begin(), except.end(), name) == except.end();
    });
}

// "a", "a and b", "a, b and c".
std::string inWords(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

// The two scripts the face runs, by their names in ~/.ostrel.
std::vector<std::string> faceScripts() {
    return {std::string(ClaudeFaceInstaller::kHookScript) + ".sh",
            std::string(ClaudeFaceInstaller::kStatusLineScript) + ".sh"};
}

// Why another copy of the application stays for this user once the entries of `leaving` are gone,
// or nothing: an entry at one of our names that starts another copy (the keep-alive wrapper and
// the autostart entry are written by the copy that ran last; the desktop finds the menu entries of
// every installed copy), or a copy that runs and holds the single-instance lock. What copies share
// in the home goes only with the last of them. An autostart entry `turnedOff` stays, and starts nothing.
std::string anotherCopyStays(const RunningCopy::Installation& leaving, bool turnedOff) {
    for (const auto& entry : {LaunchAgent::wrapperFile(), LoginItem::autostartFile()})
        if (isThere(entry) && !(turnedOff && entry == LoginItem::autostartFile()))
            return entry.string() + " starts another copy";
    if (const auto menu = DesktopEntry::entryOfAnotherCopy(leaving)) return menu->string() + " starts another copy";
    if (SingleInstance::isHeld(Paths::cacheDirectory())) return "a copy of it is running";
    return {};
}

// Says what every copy shares that this home holds, and why it stays: the cache folder with its
// lock, the stone's status line and hook in Claude Code and the scripts they run. Nothing for
// none of them.
void sayWhatStaysShared(const std::string& why) {
    const auto scripts = faceScripts();
    const bool scriptsThere = std::any_of(scripts.begin(), scripts.end(), [](const std::string& name) {
        return isThere(Paths::familyDirectory() / name);
    });
    std::string face;
    if (ClaudeFaceInstaller::namedInSettings(Paths::home())) {
        face = std::string("the stone's status line and prompt hook in Claude Code") +
               (scriptsThere ? " with their two scripts in ~/.ostrel" : "");
    } else if (scriptsThere) {
        face = "the stone's scripts for Claude Code in ~/.ostrel";
    }
    const auto cache = Paths::cacheDirectory();
    const std::string lock =
        PathWalk::walk(cache, Kind::folder).ok() ? cache.string() + " with its single-instance lock" : "";
    if (lock.empty() && face.empty()) return;
    const std::string pieces = face.empty() ? lock : lock.empty() ? face : lock + ", and " + face;
    say("left " + pieces + (face.empty() ? ": it serves" : ": they serve") +
        " every copy of the application, and another stays (" + why + ").");
}

// What stays of the user's own, where they have it: the data folder and the journals in ~/.ostrel
// while anything of theirs is in them (another copy's keep-alive wrapper and the face's scripts
// are not), and the settings file.
void sayWhatStaysForTheUser() {
    std::vector<std::string> kept;
    const auto data = Paths::dataDirectory();
    if (holdsMoreThan(data, {LaunchAgent::wrapperFile().filename()}))
        kept.push_back("your data in " + data.string());
    if (holdsMoreThan(Paths::familyDirectory(), faceScripts()))
        kept.emplace_back("the journals in ~/.ostrel");
    const auto settings = userDefaultsFile();
    if (PathWalk::walk(settings, Kind::file).exists) kept.push_back("your settings in " + settings.string());
    if (!kept.empty()) say("left for you: " + inWords(kept) + ".");
}

void removeClaudeFace() {
    const auto face = ClaudeFaceInstaller::uninstall(Paths::home(), std::chrono::system_clock::now());
    if (face.settings != ClaudeFaceInstaller::SettingsOutcome::written) {
        say(ClaudeFaceInstaller::note(face.settings) +
            ". Take the stone's status line and prompt hook out of ~/.claude/settings.json by hand.");
    } else if (face.statusLineBack) {
        say("took the stone's status line and prompt hook out of ~/.claude/settings.json, after a copy of it, and put "
            "back your own status line from settings.json.bak-tavryn-stone.");
    } else if (face.settingsChanged) {
        say("took the stone's status line and prompt hook out of ~/.claude/settings.json, after a copy of it.");
    }
    std::vector<std::string> names;
    for (const auto& name : face.scripts) names.push_back(name + ".sh");
    if (!names.empty()) say("removed " + inWords(names) + " from ~/.ostrel.");
}

enum class Removing { file, emptyFolder, everything };

// Long enough for a copy to write its journals and quit; one that takes longer is left to end.
constexpr int kMostMillisecondsToQuit = 10000;

// The user who ran sudo, by the number sudo gives; nothing without one (root itself ran this).
std::optional<uid_t> sudoCaller() {
    const std::string_view named = std::getenv("SUDO_UID") != nullptr ? std::getenv("SUDO_UID") : "";
    uid_t caller = 0;
    const auto [end, error] = std::from_chars(named.data(), named.data() + named.size(), caller);
    if (error != std::errc() || end != named.data() + named.size() || caller == 0 ||
        caller == static_cast<uid_t>(-1))
        return std::nullopt;
    return caller;
}

// "1 copy of nobody's, 2 copies of dana's": how many processes of each user, by the account's
// name where it has one.
std::string copiesOf(const std::map<uid_t, int>& users) {
    std::string said;
    for (const auto& [user, count] : users) {
        said += (said.empty() ? "" : ", ") + std::to_string(count) +
                (count == 1 ? " copy of " : " copies of ") +
                PathWalk::accountName(user).value_or("user " + std::to_string(user)) + "'s";
    }
    return said;
}

// Asks the processes that run the installed program for the person who asked to quit (the user
// who ran sudo, else root's own; a user's own), and waits until they have. Another user's copy
// goes on until they quit it, as a package manager leaves it, and is counted in a line. The
// program is the file itself (its device and inode), found through the build folder's
// descriptor without following a link: a name that someone turned to another program ends
// nobody. Each process is signalled through a descriptor of its own, taken before its program is
// looked at, so a number taken again by another process meanwhile is never signalled.
void endRunningCopies(int build) {
    const Fd bin(::openat(build, "bin", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat program {};
    if (!bin.ok() || ::fstatat(bin.get(), "quillfen", &program, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(program.st_mode))
        return;
    const uid_t asked = ::geteuid() == 0 ? sudoCaller().value_or(0) : ::geteuid();
    const Fd processes(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<pollfd> ending;
    std::map<uid_t, int> othersRunning;
    for (const auto& name : PathWalk::namesIn(processes.get())) {
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc() || end != name.data() + name.size() || pid <= 0) continue;
        Fd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        struct stat running {};
        if (!process.ok() || ::fstatat(processes.get(), (name + "/exe").c_str(), &running, 0) != 0) continue;
        if (running.st_dev != program.st_dev || running.st_ino != program.st_ino) continue;
        const auto user = realUserOfProcess(processes.get(), name);
        if (!user) continue;
        if (*user != asked) {
            ++othersRunning[*user];
        } else if (::syscall(SYS_pidfd_send_signal, process.get(), SIGTERM, nullptr, 0) == 0) {
            ending.push_back({process.release(), POLLIN, 0});
        }
    }
    if (!othersRunning.empty())
        say("left other users' copies running until they quit them: " + copiesOf(othersRunning) + ".");
    // A process's descriptor reads as ready once it has ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMostMillisecondsToQuit);
    for (auto& process : ending) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        while (::poll(&process, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) < 0 && errno == EINTR) {
        }
        ::close(process.fd);
    }
}

// Whether `path` names a place below `prefix` (or, with `orPrefix`, the prefix itself) by its
// names alone, as the install lists them: absolute, with no "." or ".." to lead elsewhere.
bool isBelow(const fs::path& path, fs::path prefix, bool orPrefix) {
    prefix = prefix.lexically_normal();
    if (!path.is_absolute() || !prefix.is_absolute()) return false;
    auto name = path.begin();
    for (const auto& step : prefix) {
        if (step.empty()) continue;
        if (name == path.end() || *name != step) return false;
        ++name;
    }
    if (name == path.end() || (std::next(name) == path.end() && name->empty())) return orPrefix;
    return std::none_of(name, path.end(), [](const fs::path& step) { return step == "." || step == ".."; });
}

// A path as the process's own folder makes it whole, for the checks that take only whole paths.
fs::path whole(const fs::path& path) {
    std::error_code ignored;
    auto made = fs::absolute(path, ignored);
    return made.empty() ? path : made;
}

// Takes the name at `path` out of the folder the walk finds for it, a link as a link: a file; a
// folder that is empty; or a folder with everything in it, gone into only by its own descriptor.
// `rootsAlone`: only through folders that nobody but root may write, and a whole folder only
// when it is an installed build. Whoever else may write a folder on the way may have given
// another folder or file of root's the name (a member of staff renames one in /usr/local/lib),
// and root would remove what they chose. Why it stays; nothing when it is gone, or was never there.
std::string removeName(const fs::path& path, Removing what, bool rootsAlone,
                       const std::function<void(int)>& beforeEmptying = {}) {
    const std::string name = path.filename();
    if (name.empty()) return "not a name";
    const auto holder = PathWalk::walk(path.parent_path(), Kind::folder);
    if (!holder.refusal.empty()) {
        SafeFile::refuse(path, holder.refusal);
        return holder.refusal;
    }
    if (holder.error == ENOENT || holder.error == ENOTDIR) return {};
    if (!holder.ok()) return std::strerror(holder.error);
    const int folder = holder.folder.get();
    const auto refused = [&path](std::string why) {
        SafeFile::refuse(path, why);
        return why;
    };
    if (rootsAlone) {
        if (auto why = PathWalk::whyOthersCouldChange(whole(path.parent_path())); !why.empty()) return refused(why);
        if (PathWalk::othersMayWrite(folder)) return refused(std::string(PathWalk::kOthersMayChange) + holder.path.string());
    }
    if (what == Removing::everything) {
        const Fd inner(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (inner.ok() && rootsAlone && !BuildInfo::readComplete(inner.get()))
            return refused("it holds no " + std::string(BuildInfo::kFileName) + " of an installed build");
        if (inner.ok() && beforeEmptying) beforeEmptying(inner.get());
        if (inner.ok()) PathWalk::emptyFolder(inner.get());
        what = inner.ok() ? Removing::emptyFolder : Removing::file;
    }
    if (::unlinkat(folder, name.c_str(), what == Removing::emptyFolder ? AT_REMOVEDIR : 0) == 0 || errno == ENOENT)
        return {};
    return std::strerror(errno);
}

// The non-empty lines of a list the install wrote (CMake ends its last line without a line feed).
std::optional<std::vector<std::string>> listed(const fs::path& list) {
    auto text = SafeFile::readWhole(list, kMaxListBytes, SafeFile::Links::follow);
    if (!text) return std::nullopt;
    return linesOf(*text);
}

// Why someone other than root and the user it acts for could change `path`. Under sudo that is
// the user who ran it, whose build folder it is: the check runs as them, so that what they may
// not reach counts as shared. Otherwise root alone.
std::string whyOthersThanTheCallerCouldChange(const fs::path& path) {
    const auto sudo = sudoCaller();
    if (!sudo) return PathWalk::whyOthersCouldChange(path);
    if (::seteuid(*sudo) != 0)
        return std::string("acting as the user who ran sudo failed: ") + std::strerror(errno);
    auto why = PathWalk::whyOthersCouldChange(path);
    if (::seteuid(0) != 0) return std::string("acting as root again failed: ") + std::strerror(errno);
    return why;
}

int removeInstalled(const fs::path& prefix, const fs::path& build, const std::string& stage) {
    const auto manifest = build / "install_manifest.txt";
    const auto folders = build / "install_folders.txt";
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        for (const auto& place : {build, manifest, folders}) {
            if (const auto why = whyOthersThanTheCallerCouldChange(whole(place)); !why.empty()) {
                SafeFile::refuse(place, why);
                say("removed nothing, as root takes only lists that nobody else could have written: " + why + ".");
                return 1;
            }
        }
    }
    const auto files = listed(manifest);
    if (!files) {
        say("could not read " + manifest.string() + ": nothing was removed.");
        return 1;
    }
    // Named as the manifest names them, below the stage as the install put them; a name the lists
    // hold outside the prefix is none of this copy's, whoever wrote it there.
    const auto staged = [&stage](const fs::path& path) { return fs::path(stage + path.string()); };
    const auto outside = [&prefix](const fs::path& path, bool orPrefix) {
        if (isBelow(path, prefix, orPrefix)) return false;
        SafeFile::refuse(path, "not below the prefix " + prefix.string());
        say("left " + path.string() + ": it is not below " + prefix.string() + ", where this copy was installed.");
        return true;
    };
    const auto remove = [](const fs::path& path, Removing what, bool rootsAlone,
                           const std::function<void(int)>& beforeEmptying = {}) {
        if (const auto why = removeName(path, what, rootsAlone, beforeEmptying); !why.empty())
            say("left " + path.string() + ": " + why + ".");
    };
    // The installed build first, while it still holds the build information that names it, and
    // the copies running from it end before it goes; whatever an update put there goes too.
    remove(staged(RunningCopy::Installation{prefix}.build()), Removing::everything, asRoot, endRunningCopies);
    for (const auto& file : *files)
        if (!outside(file, false)) remove(staged(file), Removing::file, asRoot);
    auto made = listed(folders).value_or(std::vector<std::string>{});
    // The deepest first, so that each is empty by its turn.
    std::sort(made.begin(), made.end(), std::greater<>());
    for (const auto& folder : made)
        if (!outside(folder, true)) removeName(staged(folder), Removing::emptyFolder, asRoot);
    remove(manifest, Removing::file, false);
    remove(folders, Removing::file, false);
    return 0;
}

// The first reason someone other than the user and root could change a folder on the way to one
// of `places`, or nothing. As root that is root alone, as when the uninstall removes.
int judge(const std::vector<std::string>& places) {
    for (const auto& place : places) {
        if (const auto why = PathWalk::whyOthersCouldChange(whole(place)); !why.empty()) {
            std::printf("%s\n", Text::controlsEscaped(why).c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "--judge")
        return judge(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    if (!arguments.empty() && arguments.front() == "--installed") {
        if (arguments.size() < 3 || arguments.size() > 4) {
            std::fprintf(stderr, "usage: quillfen_unregister --installed PREFIX BUILD_FOLDER [STAGE]\n");
            return 2;
        }
        return removeInstalled(arguments[1], arguments[2], arguments.size() == 4 ? arguments[3] : std::string());
    }
    const bool keepAliveOnly = !arguments.empty() && arguments.front() == "--keep-alive";
    if (keepAliveOnly) arguments.erase(arguments.begin());
    if (arguments.size() > 1) {
        std::fprintf(stderr, "usage: quillfen_unregister [--keep-alive] [PREFIX]\n");
        return 2;
    }
    const auto installation =
        arguments.empty() ? RunningCopy::recorded() : RunningCopy::Installation{fs::path(arguments.front())};
    auto runner = makeCommandRunner();
    removeKeepAlive(installation, *runner);
    turnOffGnomeExtension(installation);
    if (keepAliveOnly) return 0;
    const auto settings = settingsIfAny();
    for (const auto& line : StrandedEntries::takeOut(*runner, std::chrono::system_clock::now(), std::nullopt,
                                                     settings.get()))
        say(line);
    // Whether the autostart entry is this copy's, turned off in the desktop's startup settings.
    const bool turnedOff = LoginItem::programTurnedOff() == installation.launcher();
    removeEntries(installation, *runner, settings.get(), turnedOff);
    auto stays = anotherCopyStays(installation, turnedOff);
    if (stays.empty() && !removeCache()) stays = "a copy of it started meanwhile";
    if (stays.empty()) {
        removeClaudeFace();
    } else {
        sayWhatStaysShared(stays);
    }
    say(UrlSchemeRegistration::removeFromChoicesFor(installation));
    sayWhatStaysForTheUser();
    return 0;
}
