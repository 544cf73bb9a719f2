#include "Update/UpdateManifest.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"
#include "Support/JsonText.h"

namespace quillfen {

namespace {

// The key goes into the message, since the message ends up in the journal.
template <typename As>
auto member(const nlohmann::json& object, const char* key, As as) {
    const auto& value = JsonFields::field(object, key);
    try {
        return as(value);
    } catch (const JsonFields::Invalid& e) {
        throw JsonFields::Invalid(std::string(key) + " " + e.what());
    }
}

}  // namespace

std::variant<UpdateManifest, std::string> UpdateManifest::decode(std::string_view json) {
    auto document = JsonText::decode(json);
    if (!document) return std::string("manifest is not JSON");
    using namespace JsonFields;
    try {
        const auto& j = *document;
        return UpdateManifest{member(j, "build", asInt64), member(j, "version", asString),
                              member(j, "sha", asString), member(j, "url", asString),
                              member(j, "publishedAt", asString)};
    } catch (const Invalid& e) {
        return std::string("manifest unreadable: ") + e.what();
    }
}

std::string UpdateManifest::encode() const {
    nlohmann::ordered_json j = {
        {"build", build}, {"version", version}, {"sha", sha}, {"url", url}, {"publishedAt", publishedAt}};
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace quillfen
