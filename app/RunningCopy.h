#pragma once

#include <filesystem>

// Which copy of the application is running, and where the installed copy lives. An installed
// build is one self-contained folder: "bin/quillfen", "build-info.json" and what they need.
namespace quillfen::RunningCopy {

inline constexpr const char* kExecutableName = "quillfen";

// The installed build's folder, fixed when the application is built: the install prefix
// followed by "org.quillfen.Quillfen", a folder that holds nothing but the build.
std::filesystem::path installedBuildFolder();

// The running executable; when the system does not say, the path it was started by; when
// that is not absolute either, the installed build's executable.
std::filesystem::path executable();

// The build folder an executable belongs to: the folder above its "bin".
std::filesystem::path buildFolderOf(const std::filesystem::path& executable);

// Whether the executable lies inside the installed build's folder.
bool isInstalled(const std::filesystem::path& executable, const std::filesystem::path& installedBuild);

}  // namespace quillfen::RunningCopy
