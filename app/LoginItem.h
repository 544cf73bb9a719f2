#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "RunningCopy.h"
#include "platform/UserDefaults.h"

// Starts the application when the user's desktop session starts, through an XDG autostart
// entry. Turned on once automatically, at the first launch that finds no entry; after that
// only the settings switch changes it. Logs to the system log under "login-item" and raises
// nothing to its callers.
namespace quillfen::LoginItem {

enum class State { enabled, notRegistered, requiresApproval, unavailable };
std::string_view toString(State);
std::optional<State> stateFrom(std::string_view);

inline constexpr const char* kAutoEnabledOnceKey = "loginItemAutoEnabledOnce";

// $XDG_CONFIG_HOME/autostart/org.quillfen.Quillfen.desktop
std::filesystem::path autostartFile();

// Read afresh from the entry: a file there is `enabled`, no entry is `notRegistered`, and
// anything else (a folder in its place, a path that cannot be looked at) is `unavailable`.
// Autostart knows no approval step, so `requiresApproval` never comes from here.
State state();

// Why the entry cannot be written for this copy, in the words of the line `enable` logs for it
// (a copy that is not installed, a launcher others could change); empty when nothing stands in
// the way.
std::string refusal(const std::optional<RunningCopy::Installation>& installed);

// Writes the entry unless it is there; the state afterwards. The entry starts the
// installation's launcher, by default the running copy's; a copy run from a build folder
// (no installation) writes nothing and logs so.
State enable();
State enable(const std::optional<RunningCopy::Installation>& installed);

// The one automatic enable, remembered under "loginItemAutoEnabledOnce". A copy run from a
// build folder leaves the flag alone, so the installed copy still turns itself on later.
State enableOnceIfNeeded(UserDefaults& defaults);
State enableOnceIfNeeded(UserDefaults& defaults, const std::optional<RunningCopy::Installation>& installed);

// Removes the entry when it is there; does nothing in any other state.
void disableIfRegistered();

// The entry's text; nothing when the path cannot be written into an Exec line.
std::optional<std::string> desktopEntry(const std::filesystem::path& launcher);

}  // namespace quillfen::LoginItem
