#include "Mind/LineHistory.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"

namespace quillfen {

namespace {

std::optional<std::string> optionalText(const nlohmann::json& j, const char* key) {
    const nlohmann::json* value = JsonFields::optionalField(j, key);
    if (value == nullptr) return std::nullopt;
    return JsonFields::asString(*value);
}

LineHistory historyFromJson(const nlohmann::json& j) {
    return {optionalText(j, "lastTemplateId"), optionalText(j, "lastRenderedLine")};
}

}  // namespace

void to_json(nlohmann::json& j, const LineHistory& history) {
    j = nlohmann::json::object();
    if (history.lastTemplateId) j["lastTemplateId"] = *history.lastTemplateId;
    if (history.lastRenderedLine) j["lastRenderedLine"] = *history.lastRenderedLine;
}

void from_json(const nlohmann::json& j, LineHistory& history) {
    try {
        history = historyFromJson(j);
    } catch (const JsonFields::Invalid& error) {
        throw nlohmann::json::type_error::create(302, error.what(), &j);
    }
}

std::optional<LineHistory> lineHistoryFromJson(const nlohmann::json& j) {
    try {
        return historyFromJson(j);
    } catch (const JsonFields::Invalid&) {
        return std::nullopt;
    }
}

}  // namespace quillfen
