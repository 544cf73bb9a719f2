#pragma once

#include <filesystem>
#include <string>

#include "platform/CommandRunner.h"

// Makes the application the desktop's handler of the stone handoff's addresses: its entry in the
// user's applications folder, written when missing or stale, the folder's desktop database
// brought up to date, and the entry named the scheme's default where the user's choices do not
// already name it. Logs to the system log under "desktop-entry" and raises nothing.
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

// For the entry that starts `launcher`. A tool that is not installed is skipped.
Outcome ensure(const std::filesystem::path& launcher, CommandRunner& runner,
               const std::string& updateDesktopDatabase = kUpdateDesktopDatabase,
               const std::string& xdgMime = kXdgMime);

// For the running copy, from the installed build only: an entry that starts a copy in a build
// folder would keep starting that copy after the folder is gone.
void ensureForRunningCopy();

// Whether the [Default Applications] of a mimeapps.list text name our entry first for the scheme.
bool namesUsAsDefault(const std::string& mimeappsList);

}  // namespace quillfen::UrlSchemeRegistration
