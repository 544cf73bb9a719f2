// A two-week log run through the summary, its document, the score and the lines.

#include <gtest/gtest.h>

#include "Contract/AgentSummary.h"
#include "Mind/LocalLine.h"
#include "Reflection/Reflection.h"
#include "Reflection/RhythmScore.h"
#include "Support/LocalCalendar.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TimePoint januaryAt(int day, int hour, int minute, int second = 0) {
    return LocalCalendar::fromLocal(2026, 1, day, hour, minute, second);
}

// One unbroken run: a sample every ten minutes from its start, and one at its very end.
void addRun(std::vector<SignalSample>& log, TimePoint start, TimePoint end, std::int64_t switches) {
    for (TimePoint t = start;; t += std::chrono::minutes(10)) {
        const TimePoint at = std::min(t, end);
        SignalSample s;
        s.timestamp = at;
        s.continuousActiveSeconds = secondsBetween(start, at);
        s.appSwitchesLastHour = switches;
        s.secondsSinceLastInput = 4;
        s.localHour = LocalCalendar::localHour(at);
        s.displayState = DisplayState::awake;
        log.push_back(s);
        if (at == end) break;
    }
}

SignalSample single(TimePoint at, double continuousSeconds, std::int64_t switches, double idleSeconds) {
    SignalSample s;
    s.timestamp = at;
    s.continuousActiveSeconds = continuousSeconds;
    s.appSwitchesLastHour = switches;
    s.secondsSinceLastInput = idleSeconds;
    s.localHour = LocalCalendar::localHour(at);
    return s;
}

// Thursday 15 January 2026, 15:30 in Berlin; the window starts Thursday 8 January, 15:30.
std::vector<SignalSample> twoWeeks() {
    std::vector<SignalSample> log;
    // 1 to 7 January: long, scattered afternoons, all before the window.
    for (int day = 1; day <= 7; ++day)
        addRun(log, januaryAt(day, 13, 0), januaryAt(day, 15, 30), 20);
    // 8 January: a scattered noon outside the window; a long run ending exactly at its start.
    addRun(log, januaryAt(8, 12, 0), januaryAt(8, 12, 30), 25);
    addRun(log, januaryAt(8, 13, 20), januaryAt(8, 15, 30), 3);
    // 9 January: long (125 minutes), then scattered.
    addRun(log, januaryAt(9, 12, 30), januaryAt(9, 14, 35), 4);
    addRun(log, januaryAt(9, 15, 0), januaryAt(9, 16, 0), 14);
    // 10 January: nothing. 11 January: a scattered morning only.
    addRun(log, januaryAt(11, 10, 0), januaryAt(11, 11, 30), 20);
    // 12 January: 119.9 minutes is not long; exactly 12 switches is scattered.
    addRun(log, januaryAt(12, 13, 0), januaryAt(12, 14, 59, 54), 12);
    // 13 January: an hour, then away from the keys with many switches: idle, not scattered.
    addRun(log, januaryAt(13, 13, 0), januaryAt(13, 14, 0), 2);
    log.push_back(single(januaryAt(13, 16, 0), 0, 30, 600));
    // 14 January: long (150 minutes).
    addRun(log, januaryAt(14, 12, 0), januaryAt(14, 14, 30), 5);
    // Today: 130 minutes in the morning, 95 so far this afternoon.
    addRun(log, januaryAt(15, 9, 0), januaryAt(15, 11, 10), 6);
    addRun(log, januaryAt(15, 13, 55), januaryAt(15, 15, 30), 5);
    // Stored last but older than the newest: a scattered moment late in the morning.
    log.push_back(single(januaryAt(15, 11, 40), 0, 20, 4));
    return log;
}

TEST(WeeklyPicture, ATwoWeekLogGivesTheWeekItsWordsAndItsScore) {
    test::ScopedTimeZone zone("Europe/Berlin");
    const TimePoint now = januaryAt(15, 15, 30);
    const std::vector<SignalSample> log = twoWeeks();

    const AgentSummary summary = AgentSummary::build(log, now, AgentProfile::work, 1, std::nullopt);
    EXPECT_EQ(summary.jsonString(),
              R"({"profile":"work","schemaVersion":1,"summary":{"daysObserved":7,)"
              R"("fragmentedAfternoonsThisWeek":2,"longAfternoonsThisWeek":3,"nudgesAlreadyThisWeek":1,)"
              R"("today":{"attentionState":"focused","continuousScreenBand":"2-3h","load":"medium",)"
              R"("partOfDay":"afternoon","wentLong":false}}})");
    EXPECT_EQ(summary.assertNoRawLeak(), std::nullopt);

    using M = AgentSummary::DayMark;
    EXPECT_EQ(AgentSummary::weekBreakdown(log, now), (std::vector<M>{
                                                         M{0, true, true, false, false},
                                                         M{1, false, true, true, false},
                                                         M{2, false, true, false, false},
                                                         M{3, false, true, false, true},
                                                         M{4, false, true, false, false},
                                                         M{5, false, false, false, false},
                                                         M{6, false, true, true, true},
                                                     }));

    const double score = RhythmScore::of(summary);
    EXPECT_NEAR(score, 0.718, 1e-12);
    EXPECT_EQ(RhythmScore::bandOf(score), RhythmScore::Band::heavy);
    EXPECT_NEAR(RhythmScore::of(summary, RhythmScore::CalendarDensity{2, 95}), 0.838, 1e-12);

    EXPECT_EQ(Reflection::todayLine(summary),
              "Another long afternoon building, three already behind you this week.");
    EXPECT_EQ(Reflection::observeHeadline(summary), "This week's rhythm.");
    EXPECT_EQ(Reflection::observeStatus(summary), "Three long afternoons this week. I'm only watching.");
    EXPECT_EQ(Reflection::murmur(summary), "Three long afternoons this week, and I said so once.");
    EXPECT_EQ(LocalLine::line(summary), "Third long afternoon this week. Step outside for five.");
}

}  // namespace
}  // namespace quillfen
