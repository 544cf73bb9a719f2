#include "Mind/MoveLabel.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<MoveLabel> kMoveLabelNames[] = {
    {MoveLabel::stepOutside, "step-outside"},
    {MoveLabel::shortPractice, "short-practice"},
    {MoveLabel::breath, "breath"},
    {MoveLabel::customOther, "custom-other"},
};

}  // namespace

std::string_view toString(MoveLabel label) {
    return enumName(label, kMoveLabelNames);
}
std::optional<MoveLabel> moveLabelFrom(std::string_view raw) {
    return enumFromName(raw, kMoveLabelNames);
}

void to_json(nlohmann::json& j, const MoveLabel& label) {
    j = std::string(toString(label));
}

void from_json(const nlohmann::json& j, MoveLabel& label) {
    JsonFields::readRawValue(j, label, moveLabelFrom);
}

}  // namespace quillfen
