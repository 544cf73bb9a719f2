// A journal, whatever it holds: the direct reading of its records must take and refuse the same
// lines as the full JSON parser, and find the same string members in them.
#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "Support/JsonLines.h"

using namespace quillfen;

namespace {

constexpr std::string_view kKeys[] = {"ts", "event"};
using Members = std::vector<std::optional<std::string>>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    std::vector<Members> expected;
    JsonLines::forEachValue(text, [&](const nlohmann::json& value) {
        if (!value.is_object()) return;
        Members record;
        for (std::string_view key : kKeys) {
            auto it = value.find(std::string(key));
            record.push_back(it != value.end() && it->is_string() ? std::optional(it->get<std::string>())
                                                                : std::nullopt);
        }
        expected.push_back(std::move(record));
    });
    std::vector<Members> found;
    JsonLines::forEachObject(text, kKeys, [&](JsonLines::StringMembers members) {
        Members record;
        for (const auto& member : members)
            record.push_back(member ? std::optional<std::string>(*member) : std::nullopt);
        found.push_back(std::move(record));
    });
    if (found != expected) fuzz::fail("the direct reading and the full parser disagree");
    return 0;
}
