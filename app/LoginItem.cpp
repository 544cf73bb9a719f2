#include "LoginItem.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "DesktopEntry.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
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

constexpr EnumName<State> kStates[] = {
    {State::enabled, "enabled"},
    {State::notRegistered, "notRegistered"},
    {State::requiresApproval, "requiresApproval"},
    {State::unavailable, "unavailable"},
};

// What the reasons PathWalk gives, and ours, say to a person, and what would clear them. The
// folder or file a reason names is looked at again for whose it is: the note only says it.
struct PlainWords {
    std::string says;
    std::string clears;
};

PlainWords plainWords(std::string_view why) {
    using namespace PathWalk;
    static constexpr std::pair<std::string_view, std::string_view> kOwnedByAnother[] = {
        {kAFolderOfAnotherUser, ""},
        {kAnotherUsersInASharedFolder, ", in a folder others may write"},
        {kAnotherUsers, ""},
    };
    const std::string elsewhere = "Install Quillfen in a folder of yours or the system's to allow it.";
    struct stat info {};
    auto look = [&info](std::string_view path) { return ::lstat(std::string(path).c_str(), &info) == 0; };

    if (why == RunningCopy::notInstalled())
        return {"this copy runs from its build folder, not from the installed Quillfen",
                "Install it and start that one to allow it."};
    if (why.starts_with(kOthersMayChange)) {
        std::string who, what = "folder";
        if (look(why.substr(kOthersMayChange.size()))) {
            if (!S_ISDIR(info.st_mode)) what = "file";
            if ((info.st_mode & S_IWOTH) != 0) {
                who = " (anyone may write it)";
            } else if ((info.st_mode & S_IWGRP) != 0) {
                const auto name = PathWalk::groupName(info.st_gid);
                who = " (its group " + name.value_or(std::to_string(info.st_gid)) + " may write it)";
            }
        }
        return {std::string(why) + who, "Make the " + what + " yours alone to allow it."};
    }
    for (const auto& [ending, where] : kOwnedByAnother) {
        if (!why.ends_with(ending)) continue;
        const auto path = why.substr(0, why.size() - ending.size());
        const auto owner = look(path) ? PathWalk::accountName(info.st_uid) : std::nullopt;
        return {std::string(path) + " belongs to " + owner.value_or("another user") + std::string(where), elsewhere};
    }
    if (why.ends_with(kMissingInASharedFolder))
        return {std::string(why.substr(0, why.size() - kMissingInASharedFolder.size())) + " is missing, and others may make it first",
                elsewhere};
    if (why.starts_with(kNoExecLine))
        return {"the desktop cannot be told to start " + std::string(why.substr(kNoExecLine.size())),
                "Install Quillfen under a name without control characters to allow it."};
    return {std::string(why), ""};
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
    struct stat info {};
    if (::stat(autostartFile().c_str(), &info) != 0) {
        return errno == ENOENT ? State::notRegistered : State::unavailable;
    }
    return S_ISREG(info.st_mode) ? State::enabled : State::unavailable;
}

std::optional<std::string> desktopEntry(const std::filesystem::path& launcher) {
    auto exec = DesktopEntry::execArgument(launcher);
    auto tryExec = DesktopEntry::stringValue(launcher.string());
    if (!exec || !tryExec) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillfen\n"
           "TryExec=" +
           *tryExec +
           "\n"
           "Exec=" +
           *exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

State enable() {
    return enable(RunningCopy::installed());
}

std::string obstacle(const std::optional<RunningCopy::Installation>& installed) {
    if (!installed) return RunningCopy::notInstalled();
    const auto launcher = installed->launcher();
    // The desktop starts the launcher by its name at every login: named only where nobody else
    // could put a program of theirs in the way.
    return desktopEntry(launcher) ? PathWalk::whyOthersCouldChange(launcher)
                                  : std::string(kNoExecLine) + launcher.string();
}

std::string refusal(const std::optional<RunningCopy::Installation>& installed) {
    const auto why = obstacle(installed);
    if (why.empty()) return why;
    return (installed ? kDeferred : "login item not written: ") + why;
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
    if (state() == State::enabled) return State::enabled;
    if (auto refused = refusal(installed); !refused.empty()) {
        SystemLog::notice(kCategory, refused);
        return state();
    }
    const auto file = autostartFile();
    std::string why;
    if (auto unmade = SafeFile::makeFolders(file.parent_path())) {
        why = unmade.why;
    } else if (auto error = FileLogStore(file).write(*desktopEntry(installed->launcher()))) {
        why = error.message();
    }
    if (why.empty()) {
        SystemLog::info(kCategory, "registered as a login item");
        return State::enabled;
    }
    SystemLog::notice(kCategory, kDeferred + why);
    return state();
}

State enableOnceIfNeeded(UserDefaults& defaults) {
    return enableOnceIfNeeded(defaults, RunningCopy::installed());
}

State enableOnceIfNeeded(UserDefaults& defaults, const std::optional<RunningCopy::Installation>& installed) {
    const bool done = defaults.boolean(kAutoEnabledOnceKey).value_or(false);
    const State current = state();
    if (done || current != State::notRegistered) return current;
    if (!installed) return enable(installed);
    SystemLog::info(kCategory, "auto-enabling login item once (start on desktop start)");
    const State result = enable(installed);
    if (result == State::enabled) defaults.setBoolean(kAutoEnabledOnceKey, true);
    return result;
}

void disableIfRegistered() {
    if (state() != State::enabled) return;
    if (const auto error = SafeFile::remove(autostartFile())) {
        SystemLog::notice(kCategory, "could not unregister login item: " + error.message());
    } else {
        SystemLog::info(kCategory, "retired the SMAppService login item (LaunchAgent is now sole always-on)");
    }
}

}  // namespace quillfen::LoginItem
