#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Which copy of the application is running, and where the installed copy lives.
namespace quillfen::RunningCopy {

inline constexpr const char* kExecutableName = "quillfen";

// An installed copy, laid out below its install prefix as the freedesktop layout keeps a
// program with a folder of its own.
struct Installation {
    std::filesystem::path prefix;

    // "lib/org.quillfen.Quillfen": the self-contained build ("bin/quillfen", "build-info.json"
    // and what they need), which an update swaps whole.
    std::filesystem::path build() const;
    // "bin/quillfen", a link into the build: what the menu entry, the keep-alive service and
    // the autostart entry start, so that they start whichever build is in place.
    std::filesystem::path launcher() const;
    // "share/icons/hicolor/256x256/apps/org.quillfen.Quillfen.png", the largest of the icons the
    // install puts in the theme's folders: what a menu entry read outside the prefix names.
    std::filesystem::path icon() const;

    bool operator==(const Installation&) const = default;
};

// The installation this program was built for: the install prefix recorded at build time.
Installation recorded();

// The running executable; when the system does not say, the path it was started by; when
// that is not absolute either, the recorded installation's executable.
std::filesystem::path executable();

// The build folder an executable belongs to: the folder above its "bin".
std::filesystem::path buildFolderOf(const std::filesystem::path& executable);

// The installation whose launcher, or whose build's program, is `program`; nothing for any other
// path.
std::optional<Installation> installationOf(const std::filesystem::path& program);

// Whether the executable lies inside the installation's build, by its own path or through
// the launcher.
bool runsFrom(const std::filesystem::path& executable, const Installation& installation);

// The recorded installation when the running copy runs from it; none for a copy run from a
// build folder, which must leave nothing behind in the user's session that would start it.
std::optional<Installation> installed();

// Why such a copy writes nothing that would start it, as its log lines say it: "this copy does
// not run from the installed build (<build>)".
std::string notInstalled();

}  // namespace quillfen::RunningCopy
