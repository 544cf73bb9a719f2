#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace quillfen {

// What the update host says about its newest build.
struct UpdateManifest {
    std::int64_t build = 0;
    std::string version;
    std::string sha;
    std::string url;
    // Carried as text; no decision reads it.
    std::string publishedAt;

    bool operator==(const UpdateManifest&) const = default;

    // All five keys are required with their types (a null counts as missing); other keys are
    // ignored. The error says what was wrong.
    static std::variant<UpdateManifest, std::string> decode(std::string_view json);
    std::string encode() const;
};

}  // namespace quillfen
