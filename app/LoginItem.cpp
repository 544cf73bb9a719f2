#include "LoginItem.h"

#include <sys/stat.h>

#include <cerrno>

#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "Support/EnumTable.h"
#include "Support/Paths.h"
#include "Support/SystemLog.h"

namespace quillfen::LoginItem {

namespace {

constexpr const char* kCategory = "login-item";

constexpr EnumName<State> kStates[] = {
    {State::enabled, "enabled"},
    {State::notRegistered, "notRegistered"},
    {State::requiresApproval, "requiresApproval"},
    {State::unavailable, "unavailable"},
};

// The Exec line's own quoting (a double-quoted argument in which ", `, $ and \ take a
// backslash, "%" doubled as a field code), then the key file's escaping of every backslash.
std::optional<std::string> execQuoted(const std::string& path) {
    std::string argument = "\"";
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7f) return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
        if (c == '%') argument += '%';
        argument += static_cast<char>(c);
    }
    argument += '"';
    std::string value;
    for (char c : argument) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
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

std::optional<std::string> desktopEntry(const std::filesystem::path& executable) {
    auto exec = execQuoted(executable.string());
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
    return enable(RunningCopy::executable());
}

State enable(const std::filesystem::path& executable) {
    if (state() == State::enabled) return State::enabled;
    const auto file = autostartFile();
    std::error_code error;
    auto text = desktopEntry(executable);
    if (!text) error = std::make_error_code(std::errc::invalid_argument);
    if (!error) error = Paths::createPrivateFolders(file.parent_path());
    if (!error) error = FileLogStore(file).write(*text);
    if (!error) {
        SystemLog::info(kCategory, "registered as a login item");
        return State::enabled;
    }
    SystemLog::notice(kCategory, "login-item registration deferred: " + error.message());
    return state();
}

State enableOnceIfNeeded(UserDefaults& defaults) {
    return enableOnceIfNeeded(defaults, RunningCopy::executable());
}

State enableOnceIfNeeded(UserDefaults& defaults, const std::filesystem::path& executable) {
    const bool done = defaults.boolean(kAutoEnabledOnceKey).value_or(false);
    const State current = state();
    if (done || current != State::notRegistered) return current;
    defaults.setBoolean(kAutoEnabledOnceKey, true);
    SystemLog::info(kCategory, "auto-enabling login item once (start on desktop start)");
    return enable(executable);
}

void disableIfRegistered() {
    if (state() != State::enabled) return;
    std::error_code error;
    std::filesystem::remove(autostartFile(), error);
    if (error) {
        SystemLog::notice(kCategory, "could not unregister login item: " + error.message());
    } else {
        SystemLog::info(kCategory, "retired the SMAppService login item (LaunchAgent is now sole always-on)");
    }
}

}  // namespace quillfen::LoginItem
