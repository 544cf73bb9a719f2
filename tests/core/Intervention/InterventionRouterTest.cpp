#include "Intervention/InterventionRouter.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(InterventionRouter, OnlyABreathingMoveKeepsTheUserInThePanel) {
    const std::pair<std::optional<MoveLabel>, InterventionOutcome> table[] = {
        {MoveLabel::stepOutside, InterventionOutcome::getOutOfTheWay()},
        {MoveLabel::shortPractice, InterventionOutcome::restingFallback()},
        {MoveLabel::breath, InterventionOutcome::inPanel(InPanelInterventionKind::grounding543)},
        {MoveLabel::customOther, InterventionOutcome::getOutOfTheWay()},
        {std::nullopt, InterventionOutcome::getOutOfTheWay()},
    };
    for (const auto& [move, outcome] : table) {
        EXPECT_EQ(InterventionRouter::route(move), outcome) << (move ? toString(*move) : "none");
    }
    EXPECT_EQ(InterventionRouter::route(MoveLabel::breath).exercise(), InPanelInterventionKind::grounding543);
    EXPECT_EQ(InterventionRouter::route(MoveLabel::stepOutside).exercise(), std::nullopt);
}

TEST(InterventionRouter, TheExerciseKeepsItsRawName) {
    EXPECT_EQ(toString(InPanelInterventionKind::grounding543), "grounding543");
    EXPECT_EQ(inPanelInterventionKindFrom("grounding543"), InPanelInterventionKind::grounding543);
    EXPECT_EQ(inPanelInterventionKindFrom("Grounding543"), std::nullopt);
}

}  // namespace
}  // namespace quillfen
