#include "Support/Executables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quillfen::Executables {

bool isExecutableFile(const std::string& path) {
    if (!path.starts_with('/')) return false;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> onSearchPath(std::string_view name, std::string_view searchPath) {
    if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    while (true) {
        const auto end = searchPath.find(':');
        std::string folder(searchPath.substr(0, end));
        if (folder.starts_with('/')) {
            if (!folder.ends_with('/')) folder += '/';
            std::string candidate = folder + std::string(name);
            if (isExecutableFile(candidate)) return candidate;
        }
        if (end == std::string_view::npos) return std::nullopt;
        searchPath.remove_prefix(end + 1);
    }
}

std::optional<std::string> onSearchPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    return onSearchPath(name, path ? path : "");
}

}  // namespace quillfen::Executables
