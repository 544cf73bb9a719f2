#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RunningCopy.h"
#include "platform/UserDefaults.h"

// Starts the application when the user's desktop session starts, through an XDG autostart
// entry. Turned on once automatically, at the first launch that finds no entry; after that
// only the settings switch turns it on or off. Several copies may be installed for one user: the
// entry starts the copy that started last, as the keep-alive service does, so that the two never
// start different copies at login. Logs to the system log under "login-item" and raises nothing to
// its callers.
namespace quillfen::LoginItem {

enum class State { enabled, notRegistered, requiresApproval, unavailable };
std::string_view toString(State);
std::optional<State> stateFrom(std::string_view);

inline constexpr const char* kAutoEnabledOnceKey = "loginItemAutoEnabledOnce";

// $XDG_CONFIG_HOME/autostart/org.quillfen.Quillfen.desktop
std::filesystem::path autostartFile();

// Read afresh from the entry, for the installation's copy (by default the running copy's):
// `enabled` only when the entry starts that copy's launcher, the program is there to start and
// the user has not turned the entry off in their desktop's startup settings; `notRegistered` when
// there is no entry, it is turned off, or it starts another copy, a program that is gone or
// something else; `unavailable` for anything but a file there (a folder in its place, a path that
// cannot be looked at). Autostart knows no approval step, so `requiresApproval` never comes from
// here.
State state();
State state(const std::optional<RunningCopy::Installation>& installed);

// What stands in the way of the entry for this copy (a copy that is not installed, a launcher
// others could change: "others may change /home/u", an entry at its name that Quillfen did not
// write and that starts something else); empty when nothing does.
std::string obstacle(const std::optional<RunningCopy::Installation>& installed);
// The line `enable` logs for it.
std::string refusal(const std::optional<RunningCopy::Installation>& installed);

// The note under the settings switch: what stands in the way of the entry and of the keep-alive
// unit (their obstacles, empty for none) and what would clear it, in a person's words rather
// than the log's; one sentence for a reason both share. Empty when nothing stands in the way.
std::string note(std::string_view entryObstacle, std::string_view keepAliveObstacle);

// Writes the entry unless it already starts this copy; the state afterwards. The entry starts
// the installation's launcher, by default the running copy's, in place of an entry of ours that
// starts another copy or a program that is gone, or one the user turned off (the switch turns it
// on). An entry the user wrote or edited is left as it is, and so is everything for a copy run
// from a build folder (no installation); both are logged.
State enable();
State enable(const std::optional<RunningCopy::Installation>& installed);

// What every start does. With no entry there: the one automatic enable, remembered under
// "loginItemAutoEnabledOnce" once the entry is written; a refused one (a copy run from a build
// folder, a launcher others could change) leaves the flag alone, so a later start, with the way
// clear, still turns it on. With an entry of ours there that this copy would not write as it is
// (it starts another copy or a program that is gone, or was written before entries named their
// program): the entry written for this copy. An entry the user wrote, edited or turned off stays
// as it is.
State enableOnceIfNeeded(UserDefaults& defaults);
State enableOnceIfNeeded(UserDefaults& defaults, const std::optional<RunningCopy::Installation>& installed);

// The program the entry starts when it is one of ours (as this copy or the menu writes it, for
// whichever program); nothing for no entry or the user's.
std::optional<std::filesystem::path> programOfOurs();

// The program the entry names when the user turned it off in their desktop's startup settings
// (X-GNOME-Autostart-enabled=false, Hidden=true); nothing for any other entry, or none.
std::optional<std::filesystem::path> programTurnedOff();

// An entry taken out for the user (by an uninstall, or as one whose program others could change)
// is no choice of theirs: the mark of the one automatic enable goes with it, so that the next start
// of a copy that may write the entry turns Start at login on again.
void forgetAutomaticEnable(UserDefaults& defaults);

// Removes the entry when there is one, whatever it starts, unless the user turned it off; does
// nothing in any other state.
void disableIfRegistered();

// For the uninstall of `leaving`: where the entry is ours and starts that copy, writes it, in one
// replace, for the first of `staying` whose program is there and for which nothing stands in the
// way. The copy it starts then; nothing where it starts another or none could take it.
std::optional<RunningCopy::Installation> handOver(const RunningCopy::Installation& leaving,
                                                  const std::vector<RunningCopy::Installation>& staying);

// The entry as written now, which marks its start as one no person chose, so that at login, where
// the keep-alive may have started a copy first, it opens nothing; or as written before that mark,
// the form an earlier copy's entry keeps until a start of this one writes it again.
enum class Form { now, unmarked };

// The entry's text, which names its program in TryExec too, so that an entry left behind by a
// copy since removed starts nothing; nothing when the path cannot be written into an Exec line.
std::optional<std::string> desktopEntry(const std::filesystem::path& launcher, Form form = Form::now);

}  // namespace quillfen::LoginItem
