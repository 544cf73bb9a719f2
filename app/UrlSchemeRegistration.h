#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "RunningCopy.h"
#include "platform/CommandRunner.h"

// Makes the application the desktop's handler of the stone handoff's addresses: the menu entry
// put in place (DesktopEntry::refresh), the desktop database of the user's applications folder
// brought up to date when the entry there changed, and the entry named the scheme's default
// where the user's choices do not already name it. Logs to the system log under
// "desktop-entry" and raises nothing.
namespace quillfen::UrlSchemeRegistration {

inline constexpr const char* kMimeType = "x-scheme-handler/tavryn-stone";
inline constexpr const char* kUpdateDesktopDatabase = "/usr/bin/update-desktop-database";
inline constexpr const char* kXdgMime = "/usr/bin/xdg-mime";

struct Outcome {
    bool entryWritten = false;
    bool databaseUpdated = false;
    bool defaultSet = false;
    bool operator==(const Outcome&) const = default;
};

// For an installation; none (a copy run from a build folder) registers nothing. A tool that is
// not installed is skipped.
Outcome ensure(const std::optional<RunningCopy::Installation>& installed, CommandRunner& runner,
               const std::string& updateDesktopDatabase = kUpdateDesktopDatabase,
               const std::string& xdgMime = kXdgMime);

// For the running copy.
void ensureForRunningCopy();

// Brings the desktop database of the user's applications folder (its mimeinfo.cache, where the
// desktop looks up a scheme's handlers) in line with the entries there, when the tool is installed.
enum class DatabaseUpdate { updated, failed, noTool };
DatabaseUpdate updateDatabase(CommandRunner& runner, const std::string& updateDesktopDatabase = kUpdateDesktopDatabase);

// Whether the [Default Applications] of a mimeapps.list text name our entry first for the scheme.
bool namesUsAsDefault(const std::string& mimeappsList);

// The user's choices of default applications: $XDG_CONFIG_HOME/mimeapps.list.
std::filesystem::path choicesFile();

// The mimeapps.list text without our entry as the scheme's handler, in [Default Applications] and
// [Added Associations], where xdg-mime and gio put it: a line that names only us goes, one that
// names other handlers too keeps them, and every other line stays byte for byte.
std::string withoutUs(const std::string& mimeappsList);

// Takes our entry out of the user's mimeapps.list, as an uninstall does: the file is read whole
// through the walk (never through another user's link, never past a cap) and replaced whole,
// keeping its mode; a file that our entry alone filled, left with nothing but group headers, goes
// (the user's own link to one stays, leading to it emptied so). A refusal is logged.
enum class Removal { removed, fileRemoved, absent, leftAsItWas };
Removal removeFromChoices();

// The same as a copy `leaving` goes: the choice names whichever entry of our name the desktop
// finds, and while another copy's is there it starts that copy and stays. What became of it, a
// sentence for a person; empty when there was nothing to take out.
std::string removeFromChoicesFor(const RunningCopy::Installation& leaving);

}  // namespace quillfen::UrlSchemeRegistration
