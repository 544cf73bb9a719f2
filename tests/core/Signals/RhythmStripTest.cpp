#include "Signals/RhythmStrip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "Support/LocalCalendar.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::januaryLocal;
using test::ScopedTimeZone;

SignalSample sample(TimePoint at, std::int64_t switches = 0, double idle = 10) {
    SignalSample s;
    s.timestamp = at;
    s.appSwitchesLastHour = switches;
    s.secondsSinceLastInput = idle;
    s.localHour = LocalCalendar::localHour(at);
    return s;
}

TEST(RhythmStrip, WorkedExampleGivesTwoRuns) {
    ScopedTimeZone tz(test::kBerlin);
    auto strip = RhythmStrip::build({sample(januaryLocal(9, 0), 40), sample(januaryLocal(9, 1, 30), 50),
                                     sample(januaryLocal(9, 3), 60), sample(januaryLocal(9, 10), 20)});

    ASSERT_EQ(strip.runs.size(), 2u);
    const auto& first = strip.runs[0];
    EXPECT_DOUBLE_EQ(first.startHour, 9.0);
    EXPECT_DOUBLE_EQ(first.endHour, 9.05);
    EXPECT_EQ(first.minutes, 3);
    EXPECT_EQ(first.switchesPerHour, 50);
    EXPECT_DOUBLE_EQ(first.start, 3.0 / 18.0);
    EXPECT_DOUBLE_EQ(first.end, 3.05 / 18.0);
    EXPECT_FALSE(first.late);

    const auto& second = strip.runs[1];
    EXPECT_DOUBLE_EQ(second.startHour, 9.0 + 10.0 / 60.0);
    EXPECT_DOUBLE_EQ(second.endHour, 9.0 + 10.0 / 60.0 + 90.0 / 3600.0);
    EXPECT_EQ(second.minutes, 1);
    EXPECT_EQ(second.switchesPerHour, 20);
    EXPECT_FALSE(second.late);

    EXPECT_EQ(strip.dayStartHour, 6);
    EXPECT_EQ(strip.dayEndHour, 24);
}

TEST(RhythmStrip, NoSamplesGiveAnEmptyDay) {
    auto strip = RhythmStrip::build({});
    EXPECT_TRUE(strip.runs.empty());
    EXPECT_EQ(strip.longestRunMinutes(), 0);
    EXPECT_EQ(strip.activeMinutes(), 0);
    EXPECT_EQ(strip.peakSwitchesPerHour(), 0);
    EXPECT_EQ(strip.strainedRunCount(), 0);
    EXPECT_FALSE(strip.hasLateWork());
}

struct Split {
    std::string name;
    std::vector<std::pair<int, double>> samples;  // seconds after 10:00, idle seconds
    std::vector<std::int64_t> runMinutes;
};

class RhythmStripSplit : public testing::TestWithParam<Split> {};

TEST_P(RhythmStripSplit, EndsRunsAtTheBreakGap) {
    ScopedTimeZone tz(test::kBerlin);
    std::vector<SignalSample> samples;
    for (auto [offset, idle] : GetParam().samples)
        samples.push_back(sample(januaryLocal(10, 0, offset), 0, idle));
    auto strip = RhythmStrip::build(samples);
    std::vector<std::int64_t> minutes;
    for (const auto& run : strip.runs)
        minutes.push_back(run.minutes);
    EXPECT_EQ(minutes, GetParam().runMinutes);
}

INSTANTIATE_TEST_SUITE_P(Gaps, RhythmStripSplit,
                         testing::Values(Split{"OneSampleLastsTheExpectedGap", {{0, 10}}, {1}},
                                         Split{"GapOf300Splits", {{0, 10}, {300, 10}}, {1, 1}},
                                         Split{"GapOf299Joins", {{0, 10}, {299, 10}}, {4}},
                                         Split{"IdleOf300SplitsAfter60Seconds", {{0, 10}, {60, 300}}, {1, 1}},
                                         Split{"IdleOf299Joins", {{0, 10}, {60, 299}}, {1}},
                                         Split{"IdleFirstSampleStillMakesARun", {{0, 900}, {60, 10}}, {1}},
                                         Split{"EqualTimesCountAsOneSample", {{0, 10}, {0, 10}}, {1}}),
                         [](const auto& info) { return info.param.name; });

TEST(RhythmStrip, WholeMinuteRunsComeOutExact) {
    ScopedTimeZone tz(test::kBerlin);
    // 06:00 to 06:03 as fractional hours is 2.9999… minutes: the one the mirror showed short.
    EXPECT_EQ(RhythmStrip::build({sample(januaryLocal(6, 0)), sample(januaryLocal(6, 1)),
                                  sample(januaryLocal(6, 2)), sample(januaryLocal(6, 3))})
                  .runs.at(0)
                  .minutes,
              3);

    RhythmStrip::Options wide;
    wide.breakGapSeconds = 1e9;  // two samples make the run, however far apart
    int wrong = 0;
    for (int startMinute = 0; startMinute < 24 * 60; startMinute += 13) {
        for (int startSecond : {0, 1, 29, 59}) {
            const TimePoint start = januaryLocal(0, startMinute, startSecond);
            for (int length = 1; length <= 60; ++length) {
                const TimePoint end = start + std::chrono::minutes(length);
                if (LocalCalendar::dayKey(end) != LocalCalendar::dayKey(start)) continue;
                auto run = RhythmStrip::build({sample(start), sample(end)}, wide).runs.at(0);
                if (run.minutes != length) ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0);

    // A run one second short of a whole minute still truncates.
    EXPECT_EQ(
        RhythmStrip::build({sample(januaryLocal(6, 0)), sample(januaryLocal(6, 2, 59))}).runs.at(0).minutes,
        2);
    EXPECT_EQ(RhythmStrip::build({sample(januaryLocal(6, 0, 30)), sample(januaryLocal(6, 3, 29))}, wide)
                  .runs.at(0)
                  .minutes,
              2);
}

TEST(RhythmStrip, LateWorkStartsAt21) {
    ScopedTimeZone tz(test::kBerlin);
    auto endingAt = [](TimePoint end) {
        return RhythmStrip::build(
            {sample(end - std::chrono::minutes(2)), sample(end - std::chrono::minutes(1)), sample(end)});
    };
    EXPECT_TRUE(endingAt(januaryLocal(21, 0, 0)).hasLateWork());
    EXPECT_FALSE(endingAt(januaryLocal(20, 59, 59)).hasLateWork());
    // A lone sample at 20:58:30 is given 90 s and so ends at 21:00:00.
    EXPECT_TRUE(RhythmStrip::build({sample(januaryLocal(20, 58, 30))}).runs.at(0).late);
}

TEST(RhythmStrip, OrderOfSamplesDoesNotMatter) {
    ScopedTimeZone tz(test::kBerlin);
    std::vector<SignalSample> samples;
    for (int i = 0; i < 12; ++i)
        samples.push_back(sample(januaryLocal(11, i * 2 + (i >= 6 ? 20 : 0)), i * 7, i == 3 ? 5 : 20));
    auto inOrder = RhythmStrip::build(samples);
    std::reverse(samples.begin(), samples.end());
    EXPECT_EQ(RhythmStrip::build(samples), inOrder);
    std::rotate(samples.begin(), samples.begin() + 5, samples.end());
    EXPECT_EQ(RhythmStrip::build(samples), inOrder);
    EXPECT_EQ(inOrder.runs.size(), 2u);
}

TEST(RhythmStrip, TodayKeepsOnlyTheLocalDayOfNow) {
    ScopedTimeZone tz(test::kBerlin);
    const TimePoint now = januaryLocal(0, 30);
    auto strip = RhythmStrip::today(
        {sample(januaryLocal(23, 59, 0, 4)), sample(januaryLocal(0, 0)), sample(januaryLocal(0, 10)),
         sample(januaryLocal(0, 0, 0, 6)), sample(januaryLocal(12, 0))},
        now);
    ASSERT_EQ(strip.runs.size(), 3u);
    EXPECT_DOUBLE_EQ(strip.runs[0].startHour, 0.0);
    EXPECT_DOUBLE_EQ(strip.runs[1].startHour, 10.0 / 60.0);
    EXPECT_DOUBLE_EQ(strip.runs[2].startHour, 12.0);
}

TEST(RhythmStrip, RunsOffTheStripKeepTheirMinutes) {
    ScopedTimeZone tz(test::kBerlin);
    auto early = RhythmStrip::build(
        {sample(januaryLocal(3, 0)), sample(januaryLocal(3, 2)), sample(januaryLocal(3, 4))});
    ASSERT_EQ(early.runs.size(), 1u);
    EXPECT_EQ(early.runs[0].start, 0.0);
    EXPECT_EQ(early.runs[0].end, 0.0);
    EXPECT_EQ(early.runs[0].minutes, 4);

    RhythmStrip::Options collapsed;
    collapsed.dayStartHour = 12;
    collapsed.dayEndHour = 12;
    auto strip = RhythmStrip::build({sample(januaryLocal(9, 0)), sample(januaryLocal(13, 0))}, collapsed);
    ASSERT_EQ(strip.runs.size(), 2u);
    EXPECT_EQ(strip.runs[0].start, 0.0);
    EXPECT_EQ(strip.runs[0].end, 0.0);
    EXPECT_EQ(strip.runs[1].start, 1.0);
    EXPECT_EQ(strip.runs[1].end, 1.0);
}

TEST(RhythmStrip, ARunAcrossMidnightNeverEndsBeforeItStarts) {
    ScopedTimeZone tz(test::kBerlin);
    auto strip = RhythmStrip::build(
        {sample(januaryLocal(23, 58)), sample(januaryLocal(23, 59, 30)), sample(januaryLocal(0, 1, 0, 6))});
    ASSERT_EQ(strip.runs.size(), 1u);
    EXPECT_EQ(strip.runs[0].endHour, strip.runs[0].startHour);
    EXPECT_EQ(strip.runs[0].minutes, 0);
}

TEST(RhythmStrip, SummarisesItsRuns) {
    ScopedTimeZone tz(test::kBerlin);
    auto strip = RhythmStrip::build({
        sample(januaryLocal(9, 0), 60), sample(januaryLocal(9, 2), 60),
        sample(januaryLocal(9, 4), 60),                                     // 4 min at 60: not strained
        sample(januaryLocal(11, 0), 61), sample(januaryLocal(11, 10), 61),  // two lone samples at 61
        sample(januaryLocal(14, 0), 1), sample(januaryLocal(14, 1), 1),
        sample(januaryLocal(14, 2), 2),  // mean 4/3 truncates to 1
    });
    ASSERT_EQ(strip.runs.size(), 4u);
    EXPECT_EQ(strip.strainedRunCount(), 2);
    EXPECT_EQ(strip.peakSwitchesPerHour(), 61);
    EXPECT_EQ(strip.runs[3].switchesPerHour, 1);
    EXPECT_EQ(strip.longestRunMinutes(), 4);
    EXPECT_EQ(strip.activeMinutes(), 4 + 1 + 1 + 2);
    EXPECT_FALSE(strip.hasLateWork());
}

TEST(RhythmStrip, HugeSwitchCountsDoNotOverflowTheMean) {
    ScopedTimeZone tz(test::kBerlin);
    const auto most = std::numeric_limits<std::int64_t>::max();
    auto strip = RhythmStrip::build({sample(januaryLocal(9, 0), most), sample(januaryLocal(9, 1), most),
                                     sample(januaryLocal(9, 2), most)});
    EXPECT_EQ(strip.runs.at(0).switchesPerHour, most);
}

}  // namespace
}  // namespace quillfen
