#include <gtest/gtest.h>

#include <vector>

#include "Onboarding/OnboardingFlow.h"
#include "Onboarding/OnboardingSources.h"

namespace quillfen {
namespace {

using namespace OnboardingBeats;

TEST(OnboardingBeat, TheSettledStepSharesThePromiseStepsMarkAndEndsTheWalk) {
    EXPECT_EQ(markedBeats().size(), 7u);
    EXPECT_EQ(markedBeats().back(), OnboardingBeat::promise);
    EXPECT_EQ(markIndex(OnboardingBeat::settled), 6);
    EXPECT_EQ(markIndex(OnboardingBeat::promise), 6);
    EXPECT_EQ(markIndex(OnboardingBeat::boundary), 4);
    EXPECT_FALSE(next(OnboardingBeat::settled));
    EXPECT_FALSE(previous(OnboardingBeat::recognition));
    EXPECT_EQ(next(OnboardingBeat::promise), OnboardingBeat::settled);
    EXPECT_EQ(OnboardingCopy::because(InterruptBoundary::onlyWhenAsked), "Because you allowed: never, until I ask.");
}

// Every sentence the first run shows: typographic apostrophes only, and no word of another
// desktop than this one.
TEST(OnboardingCopy, UsesTypographicApostrophesAndNamesNoOtherPlatform) {
    std::vector<std::string_view> texts = {
        OnboardingCopy::leavesValue,  OnboardingCopy::neverValue,        OnboardingCopy::sourcesNote,
        OnboardingCopy::contextNote,  OnboardingCopy::boundaryNote,      OnboardingCopy::notificationTitle,
        OnboardingCopy::notificationBody, OnboardingCopy::settledNote,
    };
    for (auto beat : kAllOnboardingBeats)
        texts.insert(texts.end(), {eyebrow(beat), headline(beat), lead(beat), primaryAction(beat)});
    for (auto b : kAllInterruptBoundaries) {
        using namespace InterruptBoundaries;
        texts.insert(texts.end(), {title(b), note(b), allowedPhrase(b), exampleLine(b)});
    }
    std::string idle = WorkReading::today(0, 0, 0).headline;
    texts.push_back(idle);
    for (auto text : texts) {
        EXPECT_EQ(text.find('\''), std::string::npos) << text;
        for (const char* other : {"Mac", "macOS", "menu bar"})
            EXPECT_EQ(text.find(other), std::string::npos) << text;
    }
    EXPECT_EQ(InterruptBoundaries::title(InterruptBoundary::unmistakable), "Only when it\u2019s unmistakable");
}

}  // namespace
}  // namespace quillfen
