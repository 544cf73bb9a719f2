#pragma once

#include <filesystem>

namespace quillfen::Paths {

inline constexpr const char* kAppId = "org.quillfen.Quillfen";

// $HOME, else the password database's home folder.
std::filesystem::path home();

// $XDG_DATA_HOME/org.quillfen.Quillfen (XDG_DATA_HOME defaults to ~/.local/share).
std::filesystem::path dataDirectory();

// $XDG_CACHE_HOME/org.quillfen.Quillfen (XDG_CACHE_HOME defaults to ~/.cache).
std::filesystem::path cacheDirectory();

// $XDG_CONFIG_HOME itself (default ~/.config), where desktop-wide settings such as autostart
// entries and systemd user units live.
std::filesystem::path configHome();

// ~/.ostrel, the folder this app shares with its sibling tools.
std::filesystem::path familyDirectory();

}  // namespace quillfen::Paths
