#include "RunningCopy.h"

#include <cerrno>

#include "Support/Paths.h"

#ifndef QUILLFEN_INSTALL_PREFIX
#error "QUILLFEN_INSTALL_PREFIX names the install prefix the build was configured with"
#endif

namespace quillfen::RunningCopy {

std::filesystem::path Installation::build() const {
    return prefix / "lib" / Paths::kAppId;
}

std::filesystem::path Installation::launcher() const {
    return prefix / "bin" / kExecutableName;
}

std::filesystem::path Installation::icon() const {
    return prefix / "share/icons/hicolor/256x256/apps" / (std::string(Paths::kAppId) + ".png");
}

Installation recorded() {
    return {QUILLFEN_INSTALL_PREFIX};
}

std::filesystem::path executable() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && self.is_absolute()) return self;
    std::filesystem::path invoked(program_invocation_name);
    if (invoked.is_absolute()) return invoked;
    return recorded().build() / "bin" / kExecutableName;
}

std::filesystem::path buildFolderOf(const std::filesystem::path& executable) {
    return executable.parent_path().parent_path();
}

std::optional<Installation> installationOf(const std::filesystem::path& program) {
    const auto above = buildFolderOf(program);
    for (const Installation& copy : {Installation{above.parent_path().parent_path()}, Installation{above}})
        if (copy.build() / "bin" / kExecutableName == program || copy.launcher() == program) return copy;
    return std::nullopt;
}

bool runsFrom(const std::filesystem::path& executable, const Installation& installation) {
    // The system names the executable by its real path; the prefix may hold a link.
    auto real = [](const std::filesystem::path& path) {
        std::error_code ec;
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        return ec ? path.lexically_normal() : resolved;
    };
    auto relative = real(executable).lexically_relative(real(installation.build()));
    return !relative.empty() && *relative.begin() != ".." && *relative.begin() != ".";
}

std::optional<Installation> installed() {
    auto installation = recorded();
    if (!runsFrom(executable(), installation)) return std::nullopt;
    return installation;
}

std::string notInstalled() {
    return "this copy does not run from the installed build (" + recorded().build().string() + ")";
}

}  // namespace quillfen::RunningCopy
