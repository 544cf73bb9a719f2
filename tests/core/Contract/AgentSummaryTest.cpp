#include "Contract/AgentSummary.h"

#include <gtest/gtest.h>

#include "Support/LocalCalendar.h"
#include "support/BenchCorpora.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::ScopedTimeZone;
using Today = AgentSummary::Today;
using DayMark = AgentSummary::DayMark;

TimePoint localIn2026(int month, int day, int hour, int minute = 0, int second = 0) {
    return LocalCalendar::fromLocal(2026, month, day, hour, minute, second);
}

SignalSample sampleAt(TimePoint t, double continuousSeconds, std::int64_t switches = 0,
                      double idleSeconds = 5) {
    SignalSample s;
    s.timestamp = t;
    s.continuousActiveSeconds = continuousSeconds;
    s.appSwitchesLastHour = switches;
    s.secondsSinceLastInput = idleSeconds;
    s.localHour = LocalCalendar::localHour(t);
    return s;
}

AgentSummary buildAt(const std::vector<SignalSample>& samples, TimePoint now, int nudges = 0) {
    return AgentSummary::build(samples, now, AgentProfile::work, nudges, std::nullopt);
}

class AgentSummaryBuild : public ::testing::Test {
protected:
    ScopedTimeZone zone{"Europe/Berlin"};
};

TEST_F(AgentSummaryBuild, AnEmptyLogReadsAsAQuietUnobservedWeek) {
    const TimePoint now = localIn2026(1, 12, 15);
    const AgentSummary summary = buildAt({}, now, -3);

    AgentSummary expected;
    expected.summary.today.partOfDay = PartOfDay::afternoon;
    EXPECT_EQ(summary, expected);
    EXPECT_EQ(summary.schemaVersion, 1);
    EXPECT_EQ(summary.summary.nudgesAlreadyThisWeek, 0);

    const std::vector<DayMark> marks = AgentSummary::weekBreakdown({}, now);
    ASSERT_EQ(marks.size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(marks[i], (DayMark{i, i == 0, false, false, false})) << i;
}

TEST_F(AgentSummaryBuild, TheWindowIs168HoursBackFromNowNotSevenCalendarDays) {
    const TimePoint now = localIn2026(1, 12, 15, 30);
    std::vector<SignalSample> samples;
    // Seven days back, one second before the cutoff: outside, though scattered.
    samples.push_back(sampleAt(localIn2026(1, 5, 15, 29, 59), 30 * 60, 40));
    // Exactly at the cutoff: inside, and its afternoon ran long.
    samples.push_back(sampleAt(localIn2026(1, 5, 15, 30), 130 * 60));
    for (int day = 6; day <= 12; ++day)
        samples.push_back(sampleAt(localIn2026(1, day, 9), 600));

    const AgentSummary summary = buildAt(samples, now);
    EXPECT_EQ(summary.summary.daysObserved, 8);
    EXPECT_EQ(summary.summary.longAfternoonsThisWeek, 1);
    EXPECT_EQ(summary.summary.fragmentedAfternoonsThisWeek, 0);
    EXPECT_FALSE(summary.summary.today.wentLong);

    const std::vector<DayMark> marks = AgentSummary::weekBreakdown(samples, now);
    ASSERT_EQ(marks.size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(marks[i], (DayMark{i, i == 0, true, false, false})) << i;
}

struct AfternoonCase {
    const char* name;
    double localHour;
    double continuousSeconds;
    std::int64_t switches;
    double idleSeconds;
    bool long_;
    bool fragmented;
};

void PrintTo(const AfternoonCase& c, std::ostream* os) {
    *os << c.name;
}

class AfternoonRules : public AgentSummaryBuild, public ::testing::WithParamInterface<AfternoonCase> {};

TEST_P(AfternoonRules, DecideLongAndFragmentedAfternoons) {
    const AfternoonCase& c = GetParam();
    const TimePoint now = localIn2026(1, 12, 20);
    // The stored fractional hour decides, whatever the timestamp's own hour is.
    SignalSample s = sampleAt(localIn2026(1, 11, 9), c.continuousSeconds, c.switches, c.idleSeconds);
    s.localHour = c.localHour;

    const AgentSummary summary = buildAt({s}, now);
    EXPECT_EQ(summary.summary.daysObserved, 1);
    EXPECT_EQ(summary.summary.longAfternoonsThisWeek, c.long_ ? 1 : 0);
    EXPECT_EQ(summary.summary.fragmentedAfternoonsThisWeek, c.fragmented ? 1 : 0);
    EXPECT_FALSE(summary.summary.today.wentLong);

    const std::vector<DayMark> marks = AgentSummary::weekBreakdown({s}, now);
    EXPECT_EQ(marks.at(1), (DayMark{1, false, true, c.long_, c.fragmented}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AfternoonRules,
    ::testing::Values(AfternoonCase{"exactly120MinutesIsLong", 14.0, 7200, 0, 5, true, false},
                      AfternoonCase{"justUnder120MinutesIsNot", 14.0, 7194, 0, 5, false, false},
                      AfternoonCase{"noonIsAfternoon", 12.0, 7200, 12, 5, true, true},
                      AfternoonCase{"sixIsEvening", 18.0, 9000, 30, 5, false, false},
                      AfternoonCase{"justBeforeSix", 17.99, 9000, 0, 5, true, false},
                      AfternoonCase{"justBeforeNoon", 11.99, 9000, 30, 5, false, false},
                      AfternoonCase{"elevenSwitchesAreNotFragmented", 15.0, 60, 11, 5, false, false},
                      AfternoonCase{"idleWinsOverSwitches", 15.0, 60, 40, 180, false, false},
                      AfternoonCase{"justUnderIdleIsFragmented", 15.0, 60, 40, 179.9, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AgentSummaryBuild, AMorningOnlyDayIsObservedButNeverLongOrFragmented) {
    const TimePoint now = localIn2026(1, 12, 16);
    const std::vector<SignalSample> samples = {sampleAt(localIn2026(1, 11, 8), 0, 40),
                                               sampleAt(localIn2026(1, 11, 11, 50), 300 * 60, 40)};
    const AgentSummary summary = buildAt(samples, now);
    EXPECT_EQ(summary.summary.daysObserved, 1);
    EXPECT_EQ(summary.summary.longAfternoonsThisWeek, 0);
    EXPECT_EQ(summary.summary.fragmentedAfternoonsThisWeek, 0);
}

TEST_F(AgentSummaryBuild, TodaysBandCountsEveryHourOfToday) {
    const TimePoint now = localIn2026(1, 12, 11);
    const std::vector<SignalSample> samples = {sampleAt(localIn2026(1, 11, 14), 400 * 60),
                                               sampleAt(localIn2026(1, 12, 10, 59), 180 * 60)};
    const AgentSummary summary = buildAt(samples, now);
    EXPECT_EQ(summary.summary.today,
              (Today{PartOfDay::morning, ScreenBand::overThree, AttentionState::focused, Load::high, false}));
    EXPECT_EQ(summary.summary.longAfternoonsThisWeek, 1);
}

TEST_F(AgentSummaryBuild, TodaysAttentionComesFromTheNewestSampleByTime) {
    const TimePoint now = localIn2026(1, 12, 16);
    const std::vector<SignalSample> samples = {
        sampleAt(localIn2026(1, 12, 15, 50), 80 * 60, 2),  // newest: focused, medium
        sampleAt(localIn2026(1, 12, 9), 10 * 60, 30),      // stored last, but older: fragmented
    };
    const Today today = buildAt(samples, now).summary.today;
    EXPECT_EQ(today.attentionState, AttentionState::focused);
    EXPECT_EQ(today.load, Load::medium);
    EXPECT_EQ(today.continuousScreenBand, ScreenBand::oneToTwo);
}

TEST_F(AgentSummaryBuild, OnEqualTimesTheEarlierStoredSampleIsTheNewest) {
    const TimePoint now = localIn2026(1, 12, 16);
    const TimePoint t = localIn2026(1, 12, 15);
    const std::vector<SignalSample> samples = {sampleAt(t, 0, 0, 600), sampleAt(t, 160 * 60, 0)};
    const Today today = buildAt(samples, now).summary.today;
    EXPECT_EQ(today.attentionState, AttentionState::idle);
    EXPECT_EQ(today.load, Load::low);
}

TEST_F(AgentSummaryBuild, YesterdaysSampleNeverStandsInForToday) {
    const TimePoint now = localIn2026(1, 12, 0, 30);
    const std::vector<SignalSample> samples = {sampleAt(localIn2026(1, 11, 23, 50), 170 * 60, 30)};
    const AgentSummary summary = buildAt(samples, now);
    EXPECT_EQ(summary.summary.today,
              (Today{PartOfDay::night, ScreenBand::under1h, AttentionState::idle, Load::low, false}));
    EXPECT_EQ(summary.summary.daysObserved, 1);
}

TEST_F(AgentSummaryBuild, OnlyTodaysLongAfternoonMakesTodayGoLong) {
    const TimePoint now = localIn2026(1, 12, 17);
    const SignalSample yesterday = sampleAt(localIn2026(1, 11, 15), 130 * 60);
    const SignalSample today = sampleAt(localIn2026(1, 12, 16), 125 * 60);

    const AgentSummary onlyYesterday = buildAt({yesterday}, now);
    EXPECT_EQ(onlyYesterday.summary.longAfternoonsThisWeek, 1);
    EXPECT_FALSE(onlyYesterday.summary.today.wentLong);

    const AgentSummary both = buildAt({yesterday, today}, now);
    EXPECT_EQ(both.summary.longAfternoonsThisWeek, 2);
    EXPECT_TRUE(both.summary.today.wentLong);
}

TEST_F(AgentSummaryBuild, KeepsTheCallersProfileSkyFlagAndNudgeCount) {
    const TimePoint now = localIn2026(1, 12, 19);
    const AgentSummary a = AgentSummary::build({}, now, AgentProfile::adhd, 5, true);
    EXPECT_EQ(a.profile, AgentProfile::adhd);
    EXPECT_EQ(a.skyConfirmedGood, std::optional<bool>(true));
    EXPECT_EQ(a.summary.nudgesAlreadyThisWeek, 5);
    EXPECT_EQ(a.summary.today.partOfDay, PartOfDay::evening);
    EXPECT_EQ(buildAt({}, now, -3).summary.nudgesAlreadyThisWeek, 0);
}

TEST_F(AgentSummaryBuild, BreakdownStepsBackByCalendarDaysAcrossAClockChange) {
    // Clocks went forward on 29 March: that day had 23 hours.
    const TimePoint now = localIn2026(3, 31, 12);
    const std::vector<SignalSample> samples = {sampleAt(localIn2026(3, 29, 0, 30), 60),
                                               sampleAt(localIn2026(3, 27, 23, 30), 60)};
    const std::vector<DayMark> marks = AgentSummary::weekBreakdown(samples, now);
    ASSERT_EQ(marks.size(), 7u);
    std::vector<bool> observed;
    for (const DayMark& m : marks)
        observed.push_back(m.observed);
    EXPECT_EQ(observed, (std::vector<bool>{false, false, true, false, true, false, false}));
}

TEST_F(AgentSummaryBuild, BreakdownOfANonPositiveWindowIsEmpty) {
    const TimePoint now = localIn2026(1, 12, 12);
    const std::vector<SignalSample> samples = {sampleAt(localIn2026(1, 12, 11), 60)};
    AgentSummary::BuildOptions options;
    options.windowDays = -2;
    EXPECT_TRUE(AgentSummary::weekBreakdown(samples, now, options).empty());
    options.windowDays = 0;
    EXPECT_TRUE(AgentSummary::weekBreakdown(samples, now, options).empty());
    EXPECT_EQ(
        AgentSummary::build(samples, now, AgentProfile::work, 0, std::nullopt, options).summary.daysObserved,
        0);
}

TEST(PartOfDayOf, FollowsTheHourTable) {
    const std::vector<std::pair<int, PartOfDay>> table = {
        {-1, PartOfDay::night},     {0, PartOfDay::night},    {5, PartOfDay::night},
        {6, PartOfDay::morning},    {11, PartOfDay::morning}, {12, PartOfDay::afternoon},
        {17, PartOfDay::afternoon}, {18, PartOfDay::evening}, {20, PartOfDay::evening},
        {21, PartOfDay::night},     {23, PartOfDay::night},   {99, PartOfDay::night}};
    for (const auto& [hour, part] : table)
        EXPECT_EQ(partOfDayOf(hour), part) << hour;
}

TEST(ScreenBandOf, FollowsTheMinuteTable) {
    const std::vector<std::pair<std::int64_t, std::string_view>> table = {
        {-5, "under-1h"}, {0, "under-1h"}, {59, "under-1h"}, {60, "1-2h"},       {119, "1-2h"},
        {120, "2-3h"},    {179, "2-3h"},   {180, "over-3h"}, {100000, "over-3h"}};
    for (const auto& [minutes, raw] : table)
        EXPECT_EQ(toString(screenBandOf(minutes)), raw) << minutes;
}

// The benchmark's fourteen days of minutes, pinned as the builders have always read them: weeks
// across clock changes, a day without a midnight (Santiago) and a zone whose date steps back at
// 00:30 when its summer time ends.
TEST(AgentSummaryOfTheBenchmarkLog, ReadsAsItAlwaysHasInEveryZone) {
    struct Case {
        const char* zone;
        int year, month, day, hour;
        const char* expected;
    };
    const Case cases[] = {
        {"Europe/Berlin", 2026, 1, 15, 15, "{\"profile\":\"work\",\"schemaVersion\":1,\"summary\":{\"daysObserved\":8,\"fragmentedAfternoonsThisWeek\":8,\"longAfternoonsThisWeek\":8,\"nudgesAlreadyThisWeek\":1,\"today\":{\"attentionState\":\"fragmented\",\"continuousScreenBand\":\"2-3h\",\"load\":\"medium\",\"partOfDay\":\"afternoon\",\"wentLong\":true}}} 111 111 111 111 111 111 111"},
        {"Europe/Berlin", 2026, 4, 2, 10, "{\"profile\":\"work\",\"schemaVersion\":1,\"summary\":{\"daysObserved\":8,\"fragmentedAfternoonsThisWeek\":7,\"longAfternoonsThisWeek\":7,\"nudgesAlreadyThisWeek\":1,\"today\":{\"attentionState\":\"fragmented\",\"continuousScreenBand\":\"2-3h\",\"load\":\"medium\",\"partOfDay\":\"morning\",\"wentLong\":false}}} 100 111 111 111 111 111 111"},
        {"Europe/Berlin", 2026, 10, 28, 21, "{\"profile\":\"work\",\"schemaVersion\":1,\"summary\":{\"daysObserved\":8,\"fragmentedAfternoonsThisWeek\":7,\"longAfternoonsThisWeek\":7,\"nudgesAlreadyThisWeek\":1,\"today\":{\"attentionState\":\"fragmented\",\"continuousScreenBand\":\"2-3h\",\"load\":\"medium\",\"partOfDay\":\"night\",\"wentLong\":true}}} 111 111 111 111 111 111 111"},
        {"America/Santiago", 2026, 9, 10, 12, "{\"profile\":\"work\",\"schemaVersion\":1,\"summary\":{\"daysObserved\":8,\"fragmentedAfternoonsThisWeek\":8,\"longAfternoonsThisWeek\":7,\"nudgesAlreadyThisWeek\":1,\"today\":{\"attentionState\":\"fragmented\",\"continuousScreenBand\":\"2-3h\",\"load\":\"medium\",\"partOfDay\":\"afternoon\",\"wentLong\":false}}} 101 111 111 111 111 111 111"},
        {"America/Santiago", 2026, 4, 8, 9, "{\"profile\":\"work\",\"schemaVersion\":1,\"summary\":{\"daysObserved\":8,\"fragmentedAfternoonsThisWeek\":7,\"longAfternoonsThisWeek\":7,\"nudgesAlreadyThisWeek\":1,\"today\":{\"attentionState\":\"fragmented\",\"continuousScreenBand\":\"2-3h\",\"load\":\"medium\",\"partOfDay\":\"morning\",\"wentLong\":false}}} 100 111 111 111 111 111 111"},
        {"XXX3YYY,M3.2.0/0:30,M11.1.0/0:30", 2026, 11, 4, 13, "{\"profile\":\"work\",\"schemaVersion\":1,\"summary\":{\"daysObserved\":8,\"fragmentedAfternoonsThisWeek\":8,\"longAfternoonsThisWeek\":8,\"nudgesAlreadyThisWeek\":1,\"today\":{\"attentionState\":\"fragmented\",\"continuousScreenBand\":\"2-3h\",\"load\":\"medium\",\"partOfDay\":\"afternoon\",\"wentLong\":true}}} 111 111 111 111 111 111 111"},
    };
    for (const Case& c : cases) {
        ScopedTimeZone zone{c.zone};
        const TimePoint now = LocalCalendar::fromLocal(c.year, c.month, c.day, c.hour, 30);
        const std::vector<SignalSample> log = test::BenchCorpora::minuteLog(now);
        std::string reading = AgentSummary::build(log, now, AgentProfile::work, 1, std::nullopt).jsonString();
        for (const DayMark& mark : AgentSummary::weekBreakdown(log, now))
            reading += " " + std::to_string(mark.observed) + std::to_string(mark.wentLong) + std::to_string(mark.fragmented);
        EXPECT_EQ(reading, c.expected) << c.zone << " " << c.month << "/" << c.day;
    }
}

}  // namespace
}  // namespace quillfen
