#include "Update/BuildInfo.h"

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

}  // namespace

BuildInfo BuildInfo::read(const std::filesystem::path& buildFolder) {
    // An installed build may be reached through links of the install's own.
    auto bytes = SafeFile::readWhole(buildFolder / kFileName, kMaxFileBytes, SafeFile::Links::follow);
    return bytes ? decode(*bytes) : BuildInfo{};
}

}  // namespace quillfen
