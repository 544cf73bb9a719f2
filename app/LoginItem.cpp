#include "LoginItem.h"

#include <sys/stat.h>

#include <cerrno>

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

constexpr EnumName<State> kStates[] = {
    {State::enabled, "enabled"},
    {State::notRegistered, "notRegistered"},
    {State::requiresApproval, "requiresApproval"},
    {State::unavailable, "unavailable"},
};

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
    if (!exec) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillfen\n"
           "Exec=" +
           *exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

State enable() {
    return enable(RunningCopy::installed());
}

std::string refusal(const std::optional<RunningCopy::Installation>& installed) {
    if (!installed) {
        return "login item not written: this copy does not run from the installed build (" +
               RunningCopy::recorded().build().string() + ")";
    }
    const auto launcher = installed->launcher();
    // The desktop starts the launcher by its name at every login: named only where nobody else
    // could put a program of theirs in the way.
    const std::string why = desktopEntry(launcher) ? PathWalk::whyOthersCouldChange(launcher)
                                                   : "no Exec line holds " + launcher.string();
    return why.empty() ? why : kDeferred + why;
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
    defaults.setBoolean(kAutoEnabledOnceKey, true);
    SystemLog::info(kCategory, "auto-enabling login item once (start on desktop start)");
    return enable(installed);
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
