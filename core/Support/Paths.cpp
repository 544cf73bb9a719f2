#include "Support/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace quillfen::Paths {

namespace {

std::filesystem::path fromEnvOr(const char* name, const std::filesystem::path& fallback) {
    const char* value = std::getenv(name);
    // XDG says a relative value is invalid and must be ignored.
    if (value != nullptr && value[0] == '/') return value;
    return fallback;
}

}  // namespace

std::filesystem::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && value[0] != '\0') return value;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return "/";
}

std::filesystem::path dataDirectory() {
    return fromEnvOr("XDG_DATA_HOME", home() / ".local" / "share") / kAppId;
}

std::filesystem::path cacheDirectory() {
    return fromEnvOr("XDG_CACHE_HOME", home() / ".cache") / kAppId;
}

std::filesystem::path configHome() {
    return fromEnvOr("XDG_CONFIG_HOME", home() / ".config");
}

std::error_code createPrivateFolders(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> missing;
    std::error_code ec;
    for (auto p = path; !p.empty(); p = p.parent_path()) {
        if (std::filesystem::exists(std::filesystem::symlink_status(p, ec))) break;
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), S_IRWXU) == 0) {
            // mkdir's mode is narrowed by the umask, never widened; this makes it exactly 0700.
            ::chmod(it->c_str(), S_IRWXU);
        } else if (errno != EEXIST) {
            return {errno, std::generic_category()};
        }
    }
    if (!std::filesystem::is_directory(path, ec)) {
        return ec ? ec : std::make_error_code(std::errc::not_a_directory);
    }
    return {};
}

std::filesystem::path familyDirectory() {
    return home() / ".ostrel";
}

}  // namespace quillfen::Paths
