#include "Feedback/NudgeOutcome.h"

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<NudgeOutcome> kOutcomes[] = {
    {NudgeOutcome::landed, "landed"},
    {NudgeOutcome::ignored, "ignored"},
    {NudgeOutcome::unknown, "unknown"},
};

}  // namespace

std::string_view toString(NudgeOutcome outcome) {
    return enumName(outcome, kOutcomes);
}
std::optional<NudgeOutcome> nudgeOutcomeFrom(std::string_view raw) {
    return enumFromName(raw, kOutcomes);
}

void to_json(nlohmann::json& j, const NudgeOutcome& outcome) {
    j = std::string(toString(outcome));
}

void from_json(const nlohmann::json& j, NudgeOutcome& outcome) {
    auto parsed = j.is_string() ? nudgeOutcomeFrom(j.get_ref<const std::string&>()) : std::nullopt;
    if (!parsed) throw nlohmann::json::type_error::create(302, "not a nudge outcome", &j);
    outcome = *parsed;
}

}  // namespace quillfen
