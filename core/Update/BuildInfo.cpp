#include "Update/BuildInfo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/SafeFile.h"

namespace quillfen {

BuildInfo BuildInfo::decode(std::string_view json) {
    BuildInfo info;
    auto document = JsonText::decode(json);
    if (!document || !document->is_object()) return info;
    using namespace JsonFields;
    try {
        if (const auto* build = optionalField(*document, "build")) info.build = asInt64(*build);
    } catch (const Invalid&) {
    }
    if (const auto it = document->find("version"); it != document->end() && it->is_string()) info.version = *it;
    if (const auto it = document->find("sha"); it != document->end() && it->is_string()) info.sha = *it;
    return info;
}

namespace {

// A few fields of text.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

// The file in an open build folder, never reached through a link, never past the cap.
std::optional<std::string> bytesIn(int buildFolder) {
    const int fd =
        ::openat(buildFolder, BuildInfo::kFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const PathWalk::Fd file(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) > kMaxFileBytes) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    const auto got = SafeFile::readAt(fd, 0, bytes);
    if (!got) return std::nullopt;
    bytes.resize(*got);
    return bytes;
}

}  // namespace

BuildInfo BuildInfo::read(const std::filesystem::path& buildFolder) {
    // An installed build may be reached through links of the install's own.
    auto bytes = SafeFile::readWhole(buildFolder / kFileName, kMaxFileBytes, SafeFile::Links::follow);
    return bytes ? decode(*bytes) : BuildInfo{};
}

BuildInfo BuildInfo::read(int buildFolder) {
    const auto bytes = bytesIn(buildFolder);
    return bytes ? decode(*bytes) : BuildInfo{};
}

std::optional<BuildInfo> BuildInfo::readComplete(int buildFolder) {
    const auto bytes = bytesIn(buildFolder);
    const auto document = bytes ? JsonText::decode(*bytes) : std::nullopt;
    if (!document) return std::nullopt;
    using namespace JsonFields;
    try {
        return BuildInfo{asInt64(field(*document, "build")), asString(field(*document, "version")),
                         asString(field(*document, "sha"))};
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

}  // namespace quillfen
