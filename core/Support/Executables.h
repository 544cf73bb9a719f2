#pragma once

#include <optional>
#include <string>
#include <string_view>

// Finding the programs the application runs. A program is always run by an absolute path: a
// bare or relative name would be answered by whatever the working folder holds.
namespace quillfen::Executables {

// A regular file this process may execute, named by an absolute path.
bool isExecutableFile(const std::string& path);

// The first executable `name` in an absolute folder of `searchPath` (the form of PATH: folders
// joined by ':'). Empty and relative entries are passed over: the shell takes them for the
// working folder, which is exactly the folder that must never answer.
std::optional<std::string> onSearchPath(std::string_view name, std::string_view searchPath);

// The same over this process's PATH as it is now.
std::optional<std::string> onSearchPath(std::string_view name);

}  // namespace quillfen::Executables
