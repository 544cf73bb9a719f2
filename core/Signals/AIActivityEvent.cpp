#include "Signals/AIActivityEvent.h"

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"

namespace quillfen {

namespace {

constexpr EnumName<AIToolCategory> kCategories[] = {
    {AIToolCategory::shell, "shell"}, {AIToolCategory::edit, "edit"}, {AIToolCategory::browser, "browser"},
    {AIToolCategory::agent, "agent"}, {AIToolCategory::read, "read"}, {AIToolCategory::other, "other"}};
constexpr EnumName<AIActivityKind> kActivityKindNames[] = {{AIActivityKind::userTurn, "userTurn"},
                                                           {AIActivityKind::toolCall, "toolCall"},
                                                           {AIActivityKind::toolResult, "toolResult"},
                                                           {AIActivityKind::taskStarted, "taskStarted"},
                                                           {AIActivityKind::taskCompleted, "taskCompleted"}};

}  // namespace

std::string_view toString(AIToolCategory v) {
    return enumName(v, kCategories);
}
std::string_view toString(AIActivityKind v) {
    return enumName(v, kActivityKindNames);
}
std::optional<AIToolCategory> aiToolCategoryFrom(std::string_view raw) {
    return enumFromName(raw, kCategories);
}
std::optional<AIActivityKind> aiActivityKindFrom(std::string_view raw) {
    return enumFromName(raw, kActivityKindNames);
}

nlohmann::json activityEventToJson(const AIActivityEvent& e) {
    nlohmann::json j = {
        {"timestamp", Iso8601::format(e.timestamp)},  {"projectFingerprint", e.projectFingerprint},
        {"sessionFingerprint", e.sessionFingerprint}, {"isUser", e.isUser},
        {"kind", std::string(toString(e.kind))},
    };
    if (e.toolCategory) j["toolCategory"] = std::string(toString(*e.toolCategory));
    return j;
}

std::optional<AIActivityEvent> activityEventFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        AIActivityEvent e;
        auto when = Iso8601::parseWithFraction(asString(field(j, "timestamp")));
        if (!when) return std::nullopt;
        e.timestamp = *when;
        e.projectFingerprint = asString(field(j, "projectFingerprint"));
        e.sessionFingerprint = asString(field(j, "sessionFingerprint"));
        e.isUser = asBool(field(j, "isUser"));
        if (const auto* category = optionalField(j, "toolCategory")) {
            e.toolCategory = asEnum(*category, aiToolCategoryFrom);
        }
        e.kind = asEnum(field(j, "kind"), aiActivityKindFrom);
        return e;
    } catch (const Invalid&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace quillfen
