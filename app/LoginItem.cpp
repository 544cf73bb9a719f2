#include "LoginItem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "DesktopEntry.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "StartRequest.h"
#include "Support/EnumTable.h"
#include "Support/PathWalk.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"

namespace quillfen::LoginItem {

namespace {

constexpr const char* kCategory = "login-item";
constexpr const char* kDeferred = "login-item registration deferred: ";
constexpr std::string_view kNoExecLine = "no Exec line holds ";
constexpr std::string_view kNotOurs = " is an entry Quillfen did not write";

constexpr EnumName<State> kStates[] = {
    {State::enabled, "enabled"},
    {State::notRegistered, "notRegistered"},
    {State::requiresApproval, "requiresApproval"},
    {State::unavailable, "unavailable"},
};

// What the reasons PathWalk gives, and ours, say to a person, and what would clear them. The
// folder or file a reason names is looked at again for whose it is: the note only says it. What
// clears a folder others may change is never a change to its mode, access list or owner: that
// cannot undo what they wrote there meanwhile. It is a copy installed where only the user and the
// system may change anything, or whoever runs the machine, where even ~/.local is no such place.
struct PlainWords {
    std::string says;
    std::string clears;
};

std::string safeWay() {
    const auto local = RunningCopy::Installation{Paths::home() / ".local"}.launcher();
    if (PathWalk::whyOthersCouldChange(local, PathWalk::When::later).empty())
        return "Install Quillfen in a folder only you and the system may change, such as ~/.local, to allow it.";
    return "Ask whoever runs this machine to allow it.";
}

PlainWords plainWords(std::string_view why) {
    using namespace PathWalk;
    static constexpr std::pair<std::string_view, std::string_view> kOwnedByAnother[] = {
        {kAFolderOfAnotherUser, ""},
        {kAnotherUsersInASharedFolder, ", in a folder others may write"},
        {kAnotherUsers, ""},
    };
    struct stat info {};
    auto look = [&info](std::string_view path) { return ::lstat(std::string(path).c_str(), &info) == 0; };

    if (why == RunningCopy::notInstalled())
        return {"this copy runs from its build folder, not from the installed Quillfen",
                "Install it and start that one to allow it."};
    if (why.starts_with(kOthersMayChange)) {
        std::string who;
        if (look(why.substr(kOthersMayChange.size()))) {
            if ((info.st_mode & S_IWOTH) != 0) {
                who = " (anyone may write it)";
            } else if ((info.st_mode & S_IWGRP) != 0) {
                const auto name = PathWalk::groupName(info.st_gid);
                who = " (its group " + name.value_or(std::to_string(info.st_gid)) + " may write it)";
            }
        }
        return {std::string(why) + who, safeWay()};
    }
    for (const auto& [ending, where] : kOwnedByAnother) {
        if (!why.ends_with(ending)) continue;
        const auto path = why.substr(0, why.size() - ending.size());
        const auto owner = look(path) ? PathWalk::accountName(info.st_uid) : std::nullopt;
        return {std::string(path) + " belongs to " + owner.value_or("another user") + std::string(where), safeWay()};
    }
    if (why.ends_with(kMissingInASharedFolder))
        return {std::string(why.substr(0, why.size() - kMissingInASharedFolder.size())) + " is missing, and others may make it first",
                safeWay()};
    if (why.starts_with(kNoExecLine))
        return {"the desktop cannot be told to start " + std::string(why.substr(kNoExecLine.size())),
                "Install Quillfen under a name without control characters to allow it."};
    if (why.ends_with(kNotOurs))
        return {std::string(why) + ", and it does not start this copy", "Remove it to allow it."};
    return {std::string(why), ""};
}

// Whether the desktop's own startup settings turned the entry off: GNOME's with
// X-GNOME-Autostart-enabled=false, the standard's Hidden=true (KDE's). The key file writes a
// boolean as true or false, and reads 1 and 0 too.
bool turnedOffIn(std::string_view entry) {
    const auto is = [&entry](std::string_view key, std::string_view word, std::string_view digit) {
        const auto value = DesktopEntry::value(entry, key);
        if (!value) return false;
        const auto said = value->substr(0, value->find_last_not_of(" \t\r") + 1);
        return said == word || said == digit;
    };
    return is("Hidden", "true", "1") || is("X-GNOME-Autostart-enabled", "false", "0");
}

// What is at the entry's name, read afresh. One the user turned off is theirs, whoever wrote it:
// no start and no uninstall changes it, and it starts nothing.
struct Entry {
    enum class Kind { none, ours, theirs, turnedOff, unavailable };
    Kind kind = Kind::none;
    std::string text;
    std::optional<std::filesystem::path> program;
};

Entry present() {
    using Kind = Entry::Kind;
    const auto only = [](Kind kind) { return Entry{kind, {}, std::nullopt}; };
    const auto file = autostartFile();
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return only(errno == ENOENT ? Kind::none : Kind::unavailable);
    if (!S_ISREG(info.st_mode)) return only(Kind::unavailable);
    auto contents = SafeFile::read(file, DesktopEntry::kMaxEntryBytes);
    if (!contents.wasRead()) {
        // A file too large for an entry, or one we may not read, starts nothing we could tell.
        if (contents.keepAside) return only(Kind::theirs);
        return only(contents.status == SafeFile::Contents::Status::missing ? Kind::none : Kind::unavailable);
    }
    auto program = DesktopEntry::program(contents.bytes);
    if (turnedOffIn(contents.bytes)) return {Kind::turnedOff, std::move(contents.bytes), std::move(program)};
    // Ours is what we would write for the program it starts; the desktop's autostart tools copy
    // the menu entry into the folder as it is. Anything else is the user's.
    const bool ours =
        program && (DesktopEntry::sameEntry(contents.bytes, desktopEntry(*program)) ||
                    DesktopEntry::sameEntry(contents.bytes, desktopEntry(*program, Form::unmarked)) ||
                    DesktopEntry::isEntryFor(contents.bytes, *program));
    return {ours ? Kind::ours : Kind::theirs, std::move(contents.bytes), std::move(program)};
}

// A program there to run, what TryExec asks of the launcher an entry names.
bool isThere(const std::filesystem::path& program) {
    struct stat info {};
    return ::access(program.c_str(), X_OK) == 0 && ::stat(program.c_str(), &info) == 0 &&
           !S_ISDIR(info.st_mode);
}

// Whether the entry starts the copy, as the desktop would at login: it names the copy's
// launcher, and that is a program there to run.
bool startsCopy(const Entry& entry, const std::optional<RunningCopy::Installation>& installed) {
    return installed && entry.kind != Entry::Kind::turnedOff && entry.program &&
           *entry.program == installed->launcher() && isThere(*entry.program);
}

State stateOf(const Entry& entry, const std::optional<RunningCopy::Installation>& installed) {
    switch (entry.kind) {
        case Entry::Kind::none:
        case Entry::Kind::turnedOff:
            return State::notRegistered;
        case Entry::Kind::unavailable:
            return State::unavailable;
        default:
            return startsCopy(entry, installed) ? State::enabled : State::notRegistered;
    }
}

std::string obstacleTo(const std::optional<RunningCopy::Installation>& installed, const Entry& entry) {
    if (!installed) return RunningCopy::notInstalled();
    const auto launcher = installed->launcher();
    // The desktop starts the launcher by its name at every login: named only where nobody else
    // could put a program of theirs in the way.
    if (!desktopEntry(launcher)) return std::string(kNoExecLine) + launcher.string();
    if (auto why = PathWalk::whyOthersCouldChange(launcher, PathWalk::When::later); !why.empty()) return why;
    if (entry.kind == Entry::Kind::theirs && !startsCopy(entry, installed))
        return autostartFile().string() + std::string(kNotOurs);
    return {};
}

std::string refusalOf(const std::optional<RunningCopy::Installation>& installed, const std::string& why) {
    if (why.empty()) return why;
    if (why.ends_with(kNotOurs)) return "autostart entry left as it is: " + why;
    return (installed ? kDeferred : "login item not written: ") + why;
}

// Writes the entry for this copy in place of what is there; the state afterwards.
State write(const std::optional<RunningCopy::Installation>& installed, const Entry& entry) {
    if (auto refused = refusalOf(installed, obstacleTo(installed, entry)); !refused.empty()) {
        SystemLog::notice(kCategory, refused);
        return stateOf(entry, installed);
    }
    const auto file = autostartFile();
    std::string why;
    if (auto unmade = SafeFile::makeFolders(file.parent_path())) {
        why = unmade.why;
    } else if (auto error = FileLogStore(file).write(*desktopEntry(installed->launcher()))) {
        why = error.message();
    }
    if (!why.empty()) {
        SystemLog::notice(kCategory, kDeferred + why);
        return state(installed);
    }
    if (entry.program && *entry.program != installed->launcher()) {
        SystemLog::info(kCategory, "registered as a login item in place of the entry that started " +
                                       entry.program->string());
    } else {
        SystemLog::info(kCategory, "registered as a login item");
    }
    return State::enabled;
}

}  // namespace

std::string_view toString(State state) {
    return enumName(state, kStates);
}

std::optional<State> stateFrom(std::string_view raw) {
    return enumFromName(raw, kStates);
}

std::filesystem::path autostartFile() {
    return Paths::configHome() / "autostart" / (std::string(Paths::kAppId) + ".desktop");
}

State state() {
    return state(RunningCopy::installed());
}

State state(const std::optional<RunningCopy::Installation>& installed) {
    return stateOf(present(), installed);
}

std::optional<std::string> desktopEntry(const std::filesystem::path& launcher, Form form) {
    auto start = DesktopEntry::startLines(
        launcher, form == Form::now ? " " + std::string(StartRequest::kUnattended) : std::string());
    if (!start) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillfen\n" +
           *start +
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

State enable() {
    return enable(RunningCopy::installed());
}

std::string obstacle(const std::optional<RunningCopy::Installation>& installed) {
    return obstacleTo(installed, present());
}

std::string refusal(const std::optional<RunningCopy::Installation>& installed) {
    return refusalOf(installed, obstacle(installed));
}

std::string note(std::string_view entryObstacle, std::string_view keepAliveObstacle) {
    auto sentence = [](std::string_view what, std::string_view why) {
        const auto [says, clears] = plainWords(why);
        return std::string(what) + says + "." + (clears.empty() ? "" : " " + clears);
    };
    std::string text;
    if (!entryObstacle.empty()) text = sentence("Not started at login: ", entryObstacle);
    if (!keepAliveObstacle.empty() && keepAliveObstacle != entryObstacle)
        text += (text.empty() ? "" : " ") + sentence("Not restarted after a crash: ", keepAliveObstacle);
    return text;
}

State enable(const std::optional<RunningCopy::Installation>& installed) {
    const auto entry = present();
    if (startsCopy(entry, installed)) return State::enabled;
    return write(installed, entry);
}

State enableOnceIfNeeded(UserDefaults& defaults) {
    return enableOnceIfNeeded(defaults, RunningCopy::installed());
}

State enableOnceIfNeeded(UserDefaults& defaults, const std::optional<RunningCopy::Installation>& installed) {
    const auto entry = present();
    switch (entry.kind) {
        case Entry::Kind::none:
            // No entry after the automatic enable is the user's choice.
            if (defaults.boolean(kAutoEnabledOnceKey).value_or(false)) return State::notRegistered;
            if (!installed) return write(installed, entry);
            SystemLog::info(kCategory, "auto-enabling login item once (start on desktop start)");
            if (const State result = write(installed, entry); result != State::enabled) return result;
            defaults.setBoolean(kAutoEnabledOnceKey, true);
            return State::enabled;
        case Entry::Kind::turnedOff:
            return State::notRegistered;
        case Entry::Kind::unavailable:
            return State::unavailable;
        default:
            // Every start writes the keep-alive wrapper for this copy: an entry that starts another
            // copy would race it at login, and one whose program is gone starts nothing. A copy
            // run from a build folder leaves the installed copy's entry alone.
            if (!installed || entry.text == desktopEntry(installed->launcher())) return stateOf(entry, installed);
            if (entry.kind == Entry::Kind::theirs && startsCopy(entry, installed)) return State::enabled;
            return write(installed, entry);
    }
}

std::optional<std::filesystem::path> programTurnedOff() {
    auto entry = present();
    if (entry.kind != Entry::Kind::turnedOff) return std::nullopt;
    return std::move(entry.program);
}

std::optional<std::filesystem::path> programOfOurs() {
    auto entry = present();
    if (entry.kind != Entry::Kind::ours) return std::nullopt;
    return std::move(entry.program);
}

void forgetAutomaticEnable(UserDefaults& defaults) {
    if (defaults.boolean(kAutoEnabledOnceKey).has_value()) defaults.remove(kAutoEnabledOnceKey);
}

void disableIfRegistered() {
    const auto kind = present().kind;
    if (kind == Entry::Kind::none || kind == Entry::Kind::turnedOff || kind == Entry::Kind::unavailable)
        return;
    if (const auto error = SafeFile::remove(autostartFile())) {
        SystemLog::notice(kCategory, "could not unregister login item: " + error.message());
    } else {
        SystemLog::info(kCategory, "retired the SMAppService login item (LaunchAgent is now sole always-on)");
    }
}

std::optional<RunningCopy::Installation> handOver(const RunningCopy::Installation& leaving,
                                                  const std::vector<RunningCopy::Installation>& staying) {
    const auto entry = present();
    if (entry.kind != Entry::Kind::ours || entry.program != leaving.launcher()) return std::nullopt;
    for (const auto& copy : staying) {
        if (copy == leaving || !isThere(copy.launcher()) || !obstacleTo(copy, entry).empty()) continue;
        if (write(copy, entry) == State::enabled) return copy;
    }
    return std::nullopt;
}

}  // namespace quillfen::LoginItem
