#include "Onboarding/InterruptBoundary.h"

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"

namespace quillfen {

namespace {

constexpr EnumName<InterruptBoundary> kBoundaries[] = {
    {InterruptBoundary::unmistakable, "unmistakable"},
    {InterruptBoundary::effortStopsChanging, "effortStopsChanging"},
    {InterruptBoundary::onlyWhenAsked, "onlyWhenAsked"},
};

struct BoundaryCopy {
    std::string_view title;
    std::string_view note;
    std::string_view allowedPhrase;
    std::string_view exampleLine;
};

const BoundaryCopy& copy(InterruptBoundary boundary) {
    static constexpr BoundaryCopy kCopy[] = {
        {"Only when it\u2019s unmistakable", "The quietest. It may say nothing for days.",
         "only when the pattern is unmistakable", "You have been here a while. This may be the useful edge."},
        {"When effort stops changing", "Rare, but willing to notice a stuck afternoon.",
         "when a long session stops changing", "The work is still moving. You might not be."},
        {"Never, until I ask", "A private rhythm mirror. No unsolicited voice.", "never, until I ask",
         "Here is the shape of today. Nothing needed from you."},
    };
    return kCopy[static_cast<int>(boundary)];
}

}  // namespace

std::string_view toString(InterruptBoundary boundary) {
    return enumName(boundary, kBoundaries);
}
std::optional<InterruptBoundary> interruptBoundaryFrom(std::string_view raw) {
    return enumFromName(raw, kBoundaries);
}

void to_json(nlohmann::json& j, const InterruptBoundary& boundary) {
    j = std::string(toString(boundary));
}
void from_json(const nlohmann::json& j, InterruptBoundary& boundary) {
    JsonFields::readRawValue(j, boundary, interruptBoundaryFrom);
}

namespace InterruptBoundaries {

InterruptBoundary stored(const std::optional<std::string>& raw) {
    if (!raw) return defaultBoundary;
    return interruptBoundaryFrom(*raw).value_or(defaultBoundary);
}

DeciderThresholds thresholds(InterruptBoundary boundary, const DeciderThresholds& base) {
    DeciderThresholds out = base;
    switch (boundary) {
        case InterruptBoundary::unmistakable:
            out.fireAfterMinutes = 150;
            out.maxNudgesPerDay = 1;
            break;
        case InterruptBoundary::effortStopsChanging:
            out.fireAfterMinutes = 120;
            out.maxNudgesPerDay = 2;
            break;
        case InterruptBoundary::onlyWhenAsked:
            out.maxNudgesPerDay = 0;
            break;
    }
    return out;
}

std::string_view title(InterruptBoundary boundary) {
    return copy(boundary).title;
}
std::string_view note(InterruptBoundary boundary) {
    return copy(boundary).note;
}
std::string_view allowedPhrase(InterruptBoundary boundary) {
    return copy(boundary).allowedPhrase;
}
std::string_view exampleLine(InterruptBoundary boundary) {
    return copy(boundary).exampleLine;
}

}  // namespace InterruptBoundaries

}  // namespace quillfen
