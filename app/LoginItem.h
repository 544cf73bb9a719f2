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

// What stands in the way of the entry for this copy (a copy that is not installed, a launcher
// others could change: "others may change /home/u"); empty when nothing does.
std::string obstacle(const std::optional<RunningCopy::Installation>& installed);
// The line `enable` logs for it.
std::string refusal(const std::optional<RunningCopy::Installation>& installed);

// The note under the settings switch: what stands in the way of the entry and of the keep-alive
// unit (their obstacles, empty for none) and what would clear it, in a person's words rather
// than the log's; one sentence for a reason both share. Empty when nothing stands in the way.
std::string note(std::string_view entryObstacle, std::string_view keepAliveObstacle);

// Writes the entry unless it is there; the state afterwards. The entry starts the
// installation's launcher, by default the running copy's; a copy run from a build folder
// (no installation) writes nothing and logs so.
State enable();
State enable(const std::optional<RunningCopy::Installation>& installed);

// The one automatic enable, remembered under "loginItemAutoEnabledOnce" once the entry is
// written. A refused one (a copy run from a build folder, a launcher others could change) leaves
// the flag alone, so a later start, with the way clear, still turns it on.
State enableOnceIfNeeded(UserDefaults& defaults);
State enableOnceIfNeeded(UserDefaults& defaults, const std::optional<RunningCopy::Installation>& installed);

// Removes the entry when it is there; does nothing in any other state.
void disableIfRegistered();

// The entry's text, which names its program in TryExec too, so that an entry left behind by a
// copy since removed starts nothing; nothing when the path cannot be written into an Exec line.
std::optional<std::string> desktopEntry(const std::filesystem::path& launcher);

}  // namespace quillfen::LoginItem
