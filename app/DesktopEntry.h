#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "RunningCopy.h"

// The application's entry in the desktop's application menu. It also makes the application
// the handler of the stone handoff's addresses, so the one text serves both the install
// (written at build time) and the start-up of an installed copy, and the two never differ.
// Logs to the system log under "desktop-entry" and raises nothing to its callers.
namespace quillfen::DesktopEntry {

inline constexpr const char* kFileName = "org.quillfen.Quillfen.desktop";

// The class of the application's windows: the toolkit's application name, which main sets, is
// the class it gives every window. The entry names it (StartupWMClass), so that a desktop that
// ties windows to entries by their class (GNOME's dash) shows them as the entry's, with its icon
// and its actions, rather than as an unknown program.
inline constexpr const char* kWindowClass = "Quillfen";

// A desktop entry is a few lines.
inline constexpr std::size_t kMaxEntryBytes = 64 * 1024;

// The lines of an entry that start `launcher`: TryExec, which names the program, and Exec, quoted
// and escaped for the key file, with `arguments` after it; nothing for a path that no Exec line
// can hold (control characters).
std::optional<std::string> startLines(const std::filesystem::path& launcher, std::string_view arguments = {});

// How an entry names its icon: by the theme's name, which the desktop finds where it reads the
// prefix's share folder (and only there does it read the install's own entry), or by the path of
// the icon the install put below the prefix (RunningCopy::Installation::icon).
enum class Icon { byName, byPath };

// How the entry a copy writes into the user's menu folder names its icon: by name where the
// desktop reads the prefix's share folder ($XDG_DATA_HOME, ~/.local/share or a folder of
// $XDG_DATA_DIRS, by default /usr/local/share and /usr/share), as the install's last line judges
// it; by path anywhere else.
Icon iconFor(const RunningCopy::Installation& installed);

// The entry as it is written now, naming the class of the application's windows and offering its
// desktop actions (Settings, Quit); as it was written before it named the class; or before it
// offered the actions: what an earlier install put in its menu folder keeps that form until the
// next install.
enum class Form { now, beforeWindowClass, beforeActions };

// The entry that starts `launcher` (the launcher of an installation, below whose prefix its icon
// is); nothing when its path cannot be written into Exec.
std::optional<std::string> text(const std::filesystem::path& launcher, Icon icon = Icon::byName,
                                Form form = Form::now);

// The value of `key` in an entry's main group as it stands in the file (its escapes not undone);
// nothing when the group has no such key.
std::optional<std::string_view> value(std::string_view entry, std::string_view key);

// The program an entry starts: the first argument of the Exec line of its main group, read as a
// desktop reads it; nothing when there is none or it cannot be read.
std::optional<std::filesystem::path> program(std::string_view entry);

// Whether `found` is the entry `written`, as entries are written now or as they were written
// before they named their program in TryExec: what an earlier install put in its menu folder keeps
// that form until the next install.
bool sameEntry(std::string_view found, const std::optional<std::string>& written);

// Whether `found` is an entry we write that starts `launcher`, in any of its forms: its icon by
// name or by path, as written now, before it named the windows' class, before it offered the
// desktop actions or before entries named their program.
bool isEntryFor(std::string_view found, const std::filesystem::path& launcher);

// $XDG_DATA_HOME/applications/org.quillfen.Quillfen.desktop
std::filesystem::path userFile();

// Makes sure the entry the desktop finds first (the user's applications folder, then those of
// $XDG_DATA_DIRS) is this installation's: when it is missing or differs, writes it into the
// user's folder, unless the entry there is the one an install put there (the install below
// ~/.local, whose menu folder is the user's), which starts that copy. A copy run from a build
// folder writes nothing and logs so. True when the entry found first is this installation's
// afterwards.
bool refresh();
bool refresh(const std::optional<RunningCopy::Installation>& installed);

// The entry the desktop finds first once those that start `leaving` are gone, when there is one:
// it starts another copy, and the desktop's choice of our entry as a handler names that one then.
std::optional<std::filesystem::path> entryOfAnotherCopy(const RunningCopy::Installation& leaving);
// The installed copy that entry starts, when it is an entry as Quillfen writes it.
std::optional<RunningCopy::Installation> copyOfAnotherEntry(const RunningCopy::Installation& leaving);

}  // namespace quillfen::DesktopEntry
