#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillfen {

// The facts an installed build carries about itself, in "build-info.json" at the top of its
// folder: {"build": 42, "version": "1.4.0", "sha": "…"}. The install step writes it; a build
// run from the source tree has none.
struct BuildInfo {
    static constexpr const char* kFileName = "build-info.json";

    // 0 when missing or not a whole number: such a build never updates itself.
    std::int64_t build = 0;
    std::string version = "dev";
    std::string sha = "unstamped";

    bool operator==(const BuildInfo&) const = default;

    // Each fact falls back on its own when the file, its key or the value's type is wrong.
    static BuildInfo decode(std::string_view json);
    static BuildInfo read(const std::filesystem::path& buildFolder);
    // The same for a build folder already open, its file never reached through a link.
    static BuildInfo read(int buildFolder);
    // The file's facts only when it names all three as the install and an update write them:
    // what tells an installed build from another folder that came to have its name.
    static std::optional<BuildInfo> readComplete(int buildFolder);
};

}  // namespace quillfen
