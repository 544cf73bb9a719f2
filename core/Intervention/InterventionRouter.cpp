#include "Intervention/InterventionRouter.h"

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<InPanelInterventionKind> kInPanelKindNames[] = {
    {InPanelInterventionKind::grounding543, "grounding543"},
};

}  // namespace

std::string_view toString(InPanelInterventionKind kind) {
    return enumName(kind, kInPanelKindNames);
}

std::optional<InPanelInterventionKind> inPanelInterventionKindFrom(std::string_view raw) {
    return enumFromName(raw, kInPanelKindNames);
}

namespace InterventionRouter {

InterventionOutcome route(std::optional<MoveLabel> move) {
    if (!move) return InterventionOutcome::getOutOfTheWay();
    switch (*move) {
        case MoveLabel::stepOutside:
            return InterventionOutcome::getOutOfTheWay();
        case MoveLabel::shortPractice:
            return InterventionOutcome::restingFallback();
        case MoveLabel::breath:
            return InterventionOutcome::inPanel(InPanelInterventionKind::grounding543);
        case MoveLabel::customOther:
            return InterventionOutcome::getOutOfTheWay();
    }
    return InterventionOutcome::getOutOfTheWay();
}

}  // namespace InterventionRouter

}  // namespace quillfen
