#include <gtest/gtest.h>

#include "UI/PanelModel.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

TEST(NudgeFrequency, ReadsOnlyItsExactRawValues) {
    for (NudgeFrequency f : kAllNudgeFrequencies) EXPECT_EQ(nudgeFrequencyFrom(toString(f)), f);
    EXPECT_EQ(nudgeFrequencyFrom("balanced"), NudgeFrequency::balanced);
    EXPECT_EQ(nudgeFrequencyFrom("Balanced"), std::nullopt);
    EXPECT_EQ(nudgeFrequencyFrom("Rarely"), std::nullopt);
    EXPECT_EQ(nudgeFrequencyFrom(""), std::nullopt);
    const std::pair<NudgeFrequency, const char*> boundaries[] = {{NudgeFrequency::quiet, "unmistakable"},
                                                                 {NudgeFrequency::balanced, "effortStopsChanging"},
                                                                 {NudgeFrequency::off, "onlyWhenAsked"}};
    for (const auto& [f, stored] : boundaries) {
        EXPECT_EQ(toString(interruptBoundary(f)), stored);
        EXPECT_EQ(nudgeFrequency(interruptBoundary(f)), f);
    }
}

TEST(PanelModel, ThePrimaryActionRoutesOnlyAnAskThatIsStillOpen) {
    struct Case {
        const char* name;
        bool hasNudge;
        std::optional<MoveLabel> move;
        AskPhase phase;
        PrimaryStep step;
    };
    const Case cases[] = {
        {"no nudge: an old notification", false, MoveLabel::breath, AskPhase::hidden, PrimaryStep::closeOnly},
        {"answered, sinking away", true, MoveLabel::stepOutside, AskPhase::dismissing, PrimaryStep::closeOnly},
        {"answered breath ask", true, MoveLabel::breath, AskPhase::dismissing, PrimaryStep::closeOnly},
        {"step outside", true, MoveLabel::stepOutside, AskPhase::expanding, PrimaryStep::settleAndClose},
        {"custom move", true, MoveLabel::customOther, AskPhase::expanding, PrimaryStep::settleAndClose},
        {"no move label", true, std::nullopt, AskPhase::expanding, PrimaryStep::settleAndClose},
        {"short practice", true, MoveLabel::shortPractice, AskPhase::expanding, PrimaryStep::settleAndStay},
        {"breath", true, MoveLabel::breath, AskPhase::expanding, PrimaryStep::startExercise},
        {"breath before its reveal", true, MoveLabel::breath, AskPhase::hidden, PrimaryStep::startExercise},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PanelModel model;
        if (c.hasNudge) {
            NudgeCopy nudge;
            nudge.moveLabel = c.move;
            model.setNudge(nudge);
        }
        model.setAskPhase(c.phase);
        EXPECT_EQ(model.primaryStep(), c.step);
    }
}

}  // namespace
}  // namespace quillfen
