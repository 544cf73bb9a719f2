#include "Feedback/NudgeOutcome.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"

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
    JsonFields::readRawValue(j, outcome, nudgeOutcomeFrom);
}

}  // namespace quillfen
