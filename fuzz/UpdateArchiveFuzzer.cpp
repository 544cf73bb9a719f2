// Any archive the update host could send, after its signature: unpacked or refused, and in
// neither case is anything beside the destination created or changed, nor does a link that
// unpacked cleanly lead out of the top folder it is in.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "FuzzSupport.h"
#include "Update/UpdateArchive.h"

using namespace quillfen;
namespace fs = std::filesystem;

namespace {

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        out.insert(entry.path().filename());
    return out;
}

// A mutation almost never leaves a header's checksum right; mending the checksums lets the
// mutations reach the reading behind them. A wrong checksum has its own tests.
std::string withChecksumsMended(std::string_view input) {
    std::string bytes(input);
    std::size_t offset = 0;
    while (offset + 512 <= bytes.size()) {
        char* header = bytes.data() + offset;
        if (std::all_of(header, header + 512, [](char c) { return c == '\0'; })) break;
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (int i = 0; i < 512; ++i)
            sum += static_cast<unsigned char>(header[i]);
        std::snprintf(header + 148, 7, "%06o", sum);
        header[154] = '\0';
        std::uint64_t size = 0;
        for (int i = 124; i < 136 && header[i] >= '0' && header[i] <= '7'; ++i)
            size = size * 8 + static_cast<std::uint64_t>(header[i] - '0');
        if (size > bytes.size()) break;
        offset += 512 + (size + 511) / 512 * 512;
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto around = fuzz::scratch() / "archive";
    const auto root = around / "root";
    const auto stage = root / "stage";
    const auto canary = root / "outside" / "canary";
    fuzz::removeAll(around);
    fs::create_directories(stage);
    fuzz::writeFile(canary, "untouched", fuzz::fixedNow());
    static const auto scratchNames = names(fuzz::scratch());

    const int stageFolder = ::open(stage.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (stageFolder < 0) fuzz::fail("the destination cannot be opened");
    const auto refusal = UpdateArchive::unpack(withChecksumsMended(fuzz::asText(data, size)), stageFolder);
    ::close(stageFolder);

    if (names(fuzz::scratch()) != scratchNames || names(around) != std::set<std::string>{"root"} ||
        names(root) != std::set<std::string>{"outside", "stage"} || names(canary.parent_path()).size() != 1) {
        fuzz::fail("something was made beside the destination");
    }
    std::error_code ec;
    if (fs::file_size(canary, ec) != 9 || fs::is_symlink(canary, ec)) fuzz::fail("the canary was changed");
    if (refusal) return 0;
    const auto inside = fs::canonical(stage);
    for (auto it = fs::recursive_directory_iterator(stage, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec)) continue;
        const auto target = fs::weakly_canonical(it->path(), ec);
        if (ec) fuzz::fail("an unpacked link cannot be resolved");
        // A link in a build stays in that build, which is moved on its own.
        const auto name = it->path().lexically_relative(stage);
        const auto bounds = std::next(name.begin()) != name.end() ? inside / *name.begin() : inside;
        const auto relative = target.lexically_relative(bounds);
        if (relative.empty() || *relative.begin() == "..") fuzz::fail("an unpacked link leads out");
    }
    return 0;
}
