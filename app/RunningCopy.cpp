#include "RunningCopy.h"

#include <cerrno>

#include "Support/Paths.h"

#ifndef QUILLFEN_INSTALL_PREFIX
#error "QUILLFEN_INSTALL_PREFIX names the install prefix the build was configured with"
#endif

namespace quillfen::RunningCopy {

std::filesystem::path installedBuildFolder() {
    return std::filesystem::path(QUILLFEN_INSTALL_PREFIX) / Paths::kAppId;
}

std::filesystem::path executable() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && self.is_absolute()) return self;
    std::filesystem::path invoked(program_invocation_name);
    if (invoked.is_absolute()) return invoked;
    return installedBuildFolder() / "bin" / kExecutableName;
}

std::filesystem::path buildFolderOf(const std::filesystem::path& executable) {
    return executable.parent_path().parent_path();
}

bool isInstalled(const std::filesystem::path& executable, const std::filesystem::path& installedBuild) {
    // The system names the executable by its real path; the prefix may hold a link.
    auto real = [](const std::filesystem::path& path) {
        std::error_code ec;
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        return ec ? path.lexically_normal() : resolved;
    };
    auto relative = real(executable).lexically_relative(real(installedBuild));
    return !relative.empty() && *relative.begin() != ".." && *relative.begin() != ".";
}

}  // namespace quillfen::RunningCopy
