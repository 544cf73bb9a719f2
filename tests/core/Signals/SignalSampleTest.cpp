#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Signals/SignalSample.h"
#include "support/FixedClock.h"

namespace quillfen {
namespace {

using test::at;

SignalSample sample() {
    SignalSample s;
    s.timestamp = at("2026-01-05T14:03:00Z");
    s.continuousActiveSeconds = 4321.5;
    s.appSwitchesLastHour = 17;
    s.secondsSinceLastInput = 3.25;
    s.localHour = 15.05;
    return s;
}

TEST(SignalSample, WithoutOptionalsWritesFiveKeysAndReadsBackEqual) {
    auto s = sample();
    auto j = sampleToJson(s);
    EXPECT_EQ(j.size(), 5u);
    EXPECT_EQ(j["timestamp"], "2026-01-05T14:03:00Z");
    EXPECT_TRUE(j["appSwitchesLastHour"].is_number_integer());
    EXPECT_EQ(sampleFromJson(j), s);
}

TEST(SignalSample, OptionalsRoundTrip) {
    auto s = sample();
    s.titleChurnPerHour = 2.5;
    s.displayState = DisplayState::displayAsleep;
    auto j = sampleToJson(s);
    EXPECT_EQ(j["displayState"], "displayAsleep");
    EXPECT_EQ(sampleFromJson(j), s);
}

TEST(SignalSample, ReadingFollowsTheRecordRules) {
    auto base = sampleToJson(sample());

    auto nullDisplay = base;
    nullDisplay["displayState"] = nullptr;
    nullDisplay["somethingElse"] = "ignored";
    ASSERT_TRUE(sampleFromJson(nullDisplay));
    EXPECT_FALSE(sampleFromJson(nullDisplay)->displayState);

    auto unknownDisplay = base;
    unknownDisplay["displayState"] = "asleep";
    EXPECT_FALSE(sampleFromJson(unknownDisplay));

    auto missing = base;
    missing.erase("localHour");
    EXPECT_FALSE(sampleFromJson(missing));

    auto wrongType = base;
    wrongType["appSwitchesLastHour"] = "17";
    EXPECT_FALSE(sampleFromJson(wrongType));

    auto fractionalCount = base;
    fractionalCount["appSwitchesLastHour"] = 1.5;
    EXPECT_FALSE(sampleFromJson(fractionalCount));

    auto badDate = base;
    badDate["timestamp"] = 789000000;
    EXPECT_FALSE(sampleFromJson(badDate));

    EXPECT_FALSE(sampleFromJson(nlohmann::json::array()));
}

TEST(CoarseState, RoundTripsWithRawEnumerationValues) {
    CoarseState c{AttentionState::fragmented, Load::medium, 42, 13, 9.5};
    auto j = coarseStateToJson(c);
    EXPECT_EQ(j["attention"], "fragmented");
    EXPECT_EQ(j["load"], "medium");
    EXPECT_EQ(coarseStateFromJson(j), c);
    j["load"] = "heavy";
    EXPECT_FALSE(coarseStateFromJson(j));
}

TEST(DisplayState, ALockedSessionWinsAndOnlyAwakeIsPresent) {
    EXPECT_EQ(DisplayStates::classify(true, true), DisplayState::locked);
    EXPECT_EQ(DisplayStates::classify(false, true), DisplayState::locked);
    EXPECT_EQ(DisplayStates::classify(true, false), DisplayState::displayAsleep);
    EXPECT_EQ(DisplayStates::classify(false, false), DisplayState::awake);
    EXPECT_FALSE(DisplayStates::isTrueAbsence(DisplayState::awake));
    EXPECT_TRUE(DisplayStates::isTrueAbsence(DisplayState::displayAsleep));
    EXPECT_TRUE(DisplayStates::isTrueAbsence(DisplayState::locked));
    for (auto state : kAllDisplayStates)
        EXPECT_EQ(displayStateFrom(toString(state)), state);
    EXPECT_FALSE(attentionStateFrom("Focused"));
}

}  // namespace
}  // namespace quillfen
