#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Signals/FaceTier.h"
#include "support/FixedClock.h"

namespace quillfen {
namespace {

using test::at;

const TimePoint kReadAt = at("2026-01-05T14:00:00Z");

FaceEvidence evidence(double ageSeconds, std::int64_t switches, bool loop = false, double idle = 20,
                      std::optional<DisplayState> display = DisplayState::awake) {
    FaceEvidence e;
    e.switchesPerHour = switches;
    e.loopLive = loop;
    e.observedAt = addSeconds(kReadAt, -ageSeconds);
    e.secondsSinceLastInput = idle;
    e.displayState = display;
    return e;
}

FaceTier tierOf(const FaceEvidence& e) {
    return FaceReading::tier(e, kReadAt, FaceThresholds::defaults(), FaceReading::Policy::defaults());
}

std::optional<FaceReading::Rest> restOf(const FaceEvidence& e) {
    return FaceReading::rest(e, kReadAt, FaceReading::Policy::defaults());
}

TEST(FaceReading, JudgesLiveEvidenceByLoopThenSwitches) {
    EXPECT_EQ(tierOf(evidence(300, 45)), FaceTier::neutral);
    EXPECT_EQ(tierOf(evidence(300, 61)), FaceTier::strained);
    EXPECT_EQ(tierOf(evidence(300, 10, true)), FaceTier::strained);
    EXPECT_EQ(tierOf(evidence(300, 45, false, 20, std::nullopt)), FaceTier::neutral);
}

TEST(FaceReading, RestsAtCalmForEachReasonInOrder) {
    EXPECT_EQ(restOf(FaceEvidence::neverSensed()), FaceReading::Rest::neverSensed);
    EXPECT_EQ(tierOf(FaceEvidence::neverSensed()), FaceTier::calm);

    EXPECT_EQ(restOf(evidence(600, 45)), std::nullopt);
    EXPECT_EQ(restOf(evidence(600.001, 45)), FaceReading::Rest::evidenceStale);
    EXPECT_EQ(restOf(evidence(-1, 45)), FaceReading::Rest::evidenceStale);
    EXPECT_EQ(restOf(evidence(660, 45)), FaceReading::Rest::evidenceStale);
    EXPECT_EQ(tierOf(evidence(660, 45)), FaceTier::calm);

    auto lockedAndLooping = evidence(10, 100, true, 500, DisplayState::locked);
    EXPECT_EQ(restOf(lockedAndLooping), FaceReading::Rest::notPresent);
    EXPECT_EQ(tierOf(lockedAndLooping), FaceTier::calm);

    EXPECT_EQ(restOf(evidence(10, 100, true, 180)), FaceReading::Rest::steppedAway);
    EXPECT_EQ(tierOf(evidence(10, 100, true, 180)), FaceTier::calm);
    EXPECT_EQ(restOf(evidence(10, 100, true, 179.9)), std::nullopt);
}

TEST(FaceTier, BandsAtTheirBounds) {
    const auto defaults = FaceThresholds::defaults();
    const std::pair<int, FaceTier> cases[] = {
        {29, FaceTier::calm}, {30, FaceTier::neutral}, {60, FaceTier::neutral}, {61, FaceTier::strained}};
    for (auto [switches, tier] : cases) {
        EXPECT_EQ(defaults.tier(switches), tier) << switches;
        EXPECT_EQ(FaceTiers::of(switches), tier) << switches;
    }

    FaceThresholds crossed = defaults;
    crossed.calmUnderSwitchesPerHour = 70;
    crossed.strainedOverSwitchesPerHour = 40;
    EXPECT_EQ(crossed.tier(69), FaceTier::calm);
    EXPECT_EQ(crossed.tier(70), FaceTier::strained);
    EXPECT_EQ(FaceTiers::of(45), FaceTier::neutral);
}

TEST(FaceThresholds, LoopIsLiveWhenEitherWindowIsFull) {
    const auto t = FaceThresholds::defaults();
    EXPECT_TRUE(t.loopLive(5, 0));
    EXPECT_FALSE(t.loopLive(4, 5));
    EXPECT_TRUE(t.loopLive(0, 6));
}

TEST(FaceThresholds, JsonNeedsAllSixKeys) {
    nlohmann::json j = FaceThresholds::defaults();
    EXPECT_EQ(j.size(), 6u);
    EXPECT_EQ(faceThresholdsFromJson(j), FaceThresholds::defaults());
    for (const char* key : {"calmUnderSwitchesPerHour", "strainedOverSwitchesPerHour", "loopFastPulls",
                            "loopFastWindowSeconds", "loopSlowPulls", "loopSlowWindowSeconds"}) {
        ASSERT_TRUE(j.contains(key));
        auto missing = j;
        missing.erase(key);
        EXPECT_FALSE(faceThresholdsFromJson(missing)) << key;
    }
    EXPECT_EQ(faceTierFrom("strained"), FaceTier::strained);
    EXPECT_FALSE(faceTierFrom("Strained"));
}

TEST(FaceEvidence, TakesItsFactsFromTheSample) {
    SignalSample s;
    s.timestamp = kReadAt;
    s.appSwitchesLastHour = 33;
    s.secondsSinceLastInput = 12;
    s.displayState = DisplayState::awake;
    auto e = FaceEvidence::of(s, true);
    EXPECT_EQ(e, evidence(0, 33, true, 12));
}

}  // namespace
}  // namespace quillfen
