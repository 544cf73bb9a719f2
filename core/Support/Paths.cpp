#include "Support/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

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

std::filesystem::path familyDirectory() {
    return home() / ".ostrel";
}

}  // namespace quillfen::Paths
