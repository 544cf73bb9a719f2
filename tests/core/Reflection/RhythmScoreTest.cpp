#include "Reflection/RhythmScore.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

AgentSummary week(int longAfternoons, int fragmented, Load load, ScreenBand band) {
    AgentSummary summary;
    summary.summary.longAfternoonsThisWeek = longAfternoons;
    summary.summary.fragmentedAfternoonsThisWeek = fragmented;
    summary.summary.today.load = load;
    summary.summary.today.continuousScreenBand = band;
    return summary;
}

struct ScoreCase {
    int longAfternoons;
    int fragmented;
    Load load;
    ScreenBand band;
    double score;
    RhythmScore::Band scoreBand;
};

TEST(RhythmScore, WeighsTheWeekAndClampsItToOne) {
    using B = RhythmScore::Band;
    const std::vector<ScoreCase> table = {
        {0, 0, Load::low, ScreenBand::under1h, 0.0, B::healthy},
        {1, 0, Load::low, ScreenBand::under1h, 0.13, B::healthy},
        {2, 1, Load::medium, ScreenBand::oneToTwo, 0.479, B::building},
        {3, 2, Load::medium, ScreenBand::twoToThree, 0.718, B::heavy},
        {4, 3, Load::high, ScreenBand::overThree, 1.0, B::ceiling},
        {9, 9, Load::high, ScreenBand::overThree, 1.0, B::ceiling},
        {0, 3, Load::low, ScreenBand::under1h, 0.18, B::healthy},
        {-2, -1, Load::high, ScreenBand::under1h, 0.22, B::healthy},
    };
    for (const ScoreCase& c : table) {
        const double score = RhythmScore::of(week(c.longAfternoons, c.fragmented, c.load, c.band));
        EXPECT_NEAR(score, c.score, 1e-12) << c.longAfternoons << " " << c.fragmented;
        EXPECT_EQ(RhythmScore::bandOf(score), c.scoreBand) << score;
    }
}

TEST(RhythmScore, IgnoresWhatIsNotStrain) {
    AgentSummary a = week(2, 1, Load::medium, ScreenBand::oneToTwo);
    AgentSummary b = a;
    b.summary.daysObserved = 7;
    b.summary.nudgesAlreadyThisWeek = 2;
    b.summary.today = {PartOfDay::night, ScreenBand::oneToTwo, AttentionState::fragmented, Load::medium,
                       true};
    b.skyConfirmedGood = true;
    EXPECT_EQ(RhythmScore::of(a), RhythmScore::of(b));
}

TEST(RhythmScore, ASaturationOfZeroOrLessCountsAsOne) {
    RhythmScore::Weights weights;
    weights.longAfternoonsSaturate = 0;
    weights.fragmentedSaturate = -4;
    EXPECT_NEAR(RhythmScore::of(week(1, 1, Load::low, ScreenBand::under1h), weights), 0.52 + 0.18, 1e-12);
}

TEST(RhythmScore, AHeavyCalendarDayAddsItsBump) {
    const AgentSummary summary = week(2, 1, Load::medium, ScreenBand::oneToTwo);
    const double plain = RhythmScore::of(summary);
    const std::vector<std::pair<std::optional<RhythmScore::CalendarDensity>, double>> table = {
        {std::nullopt, plain},
        {RhythmScore::CalendarDensity{1, 179}, plain},
        {RhythmScore::CalendarDensity{0, 0}, plain},
        {RhythmScore::CalendarDensity{1, 180}, 0.599},
        {RhythmScore::CalendarDensity{2, 0}, 0.599},
    };
    for (const auto& [calendar, expected] : table)
        EXPECT_NEAR(RhythmScore::of(summary, calendar), expected, 1e-12);
    EXPECT_EQ(RhythmScore::bandOf(RhythmScore::of(summary, RhythmScore::CalendarDensity{2, 0})),
              RhythmScore::Band::building);

    RhythmScore::Weights nearlyFull{0.95, 4, 0, 3, 0, 0};
    const AgentSummary fourLong = week(4, 0, Load::low, ScreenBand::under1h);
    EXPECT_NEAR(RhythmScore::of(fourLong, nearlyFull), 0.95, 1e-12);
    EXPECT_EQ(RhythmScore::of(fourLong, RhythmScore::CalendarDensity{3, 0}, nearlyFull), 1.0);
}

TEST(RhythmScore, BandsStartAtTheirThresholds) {
    using B = RhythmScore::Band;
    const std::vector<std::pair<double, B>> table = {
        {0.0, B::healthy}, {0.2499, B::healthy}, {0.25, B::building}, {0.5999, B::building},
        {0.6, B::heavy},   {0.8499, B::heavy},   {0.85, B::ceiling},  {1.0, B::ceiling}};
    for (const auto& [score, band] : table)
        EXPECT_EQ(RhythmScore::bandOf(score), band) << score;
    EXPECT_EQ(RhythmScore::toString(B::ceiling), "ceiling");
    EXPECT_EQ(RhythmScore::bandFrom("heavy"), B::heavy);
}

}  // namespace
}  // namespace quillfen
