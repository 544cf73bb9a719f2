#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The application's entry in the desktop's application menu. It also makes the application the
// handler of the stone handoff's addresses ("tavryn-stone:"), which the desktop then hands to
// the entry's program as its one argument.
namespace quillfen::DesktopEntry {

inline constexpr const char* kFileName = "org.quillfen.Quillfen.desktop";

// One argument of an Exec line, quoted and escaped for the key file; nothing for a path that no
// Exec line can hold (control characters).
std::optional<std::string> execArgument(const std::filesystem::path& path);

// The entry that starts `launcher`; nothing when its path cannot be written into Exec.
std::optional<std::string> text(const std::filesystem::path& launcher);

// $XDG_DATA_HOME/applications/org.quillfen.Quillfen.desktop
std::filesystem::path userFile();

}  // namespace quillfen::DesktopEntry
