#include "UI/InspectFacts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "Mind/VoiceGuard.h"
#include "Reflection/Reflection.h"
#include "Reflection/RhythmScore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using namespace InspectFacts;
using test::at;
using ::testing::ElementsAre;

TEST(InspectFacts, SpansAndClockTimes) {
    const std::pair<std::int64_t, const char*> spans[] = {{0, "0 min"}, {45, "45 min"}, {59, "59 min"}, {60, "1h"},
                                                          {61, "1h 1m"}, {120, "2h"}, {125, "2h 5m"}, {135, "2h 15m"}};
    for (const auto& [minutes, phrase] : spans) EXPECT_EQ(spanPhrase(minutes), phrase) << minutes;
    EXPECT_EQ(atScreenFact(9.5, 125), "since 9:30, longest stretch 2h 5m");
    EXPECT_EQ(atScreenFact(std::nullopt, 45), "longest stretch 45 min");
    EXPECT_EQ(clockLabel(14.999), "14:59") << "a fraction of a minute is cut, not rounded up";
    EXPECT_EQ(clockLabel(-1), "0:00");
    EXPECT_EQ(clockLabel(std::nan("")), "0:00");
}

// The first hour is stored as hour + minutes / 60; most whole minutes are a hair short in
// binary (9:06 is 9.0999...), and must still read as themselves.
TEST(InspectFacts, EveryWholeMinuteOfTheDayReadsAsItself) {
    for (int h = 0; h < 24; ++h) {
        for (int m = 0; m < 60; ++m) {
            char expected[8];
            std::snprintf(expected, sizeof expected, "%d:%02d", h, m);
            ASSERT_EQ(clockLabel(h + m / 60.0), expected);
        }
    }
}

TEST(InspectFacts, WeekRightNowAndSpokenPhrases) {
    struct Week {
        int longs, scattered;
        const char* phrase;
    };
    for (const Week& w : {Week{0, 0, "calm so far"}, Week{1, 0, "one heavy afternoon"},
                          Week{2, 1, "two heavy afternoons, one scattered"}, Week{0, 3, "three scattered"},
                          Week{5, 2, "5 heavy afternoons, two scattered"}}) {
        EXPECT_EQ(weekPhrase(w.longs, w.scattered), w.phrase);
    }
    EXPECT_EQ(rightNowFact(AttentionState::focused, true), "focused, on battery");
    EXPECT_EQ(rightNowFact(AttentionState::fragmented, false), "scattered, plugged in");
    EXPECT_EQ(rightNowFact(AttentionState::idle, false), "settled, plugged in");
    struct Spoken {
        int sibling, nudges;
        const char* fact;
    };
    for (const Spoken& s : {Spoken{0, 0, "not yet this week"}, Spoken{0, 1, "once this week"},
                            Spoken{0, 2, "twice this week"}, Spoken{0, 3, "3 times this week"},
                            Spoken{1, 5, "once this week, inside replies"},
                            Spoken{2, 0, "twice this week, inside replies"},
                            Spoken{3, 0, "3 times this week, inside replies"}}) {
        EXPECT_EQ(timesSpokenFact(s.sibling, s.nudges), s.fact);
    }
}

TEST(InspectFacts, BrowserLineCountsTheLastHourAndTodaysCappedSessions) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint now = at("2026-01-05T14:00:00+01:00");
    EXPECT_EQ(browserFact(BrowserRhythm(), now), std::nullopt);
    using E = BrowserEvent;
    BrowserRhythm quiet({{at("2026-01-05T09:00:00+01:00"), E::windowFocus},
                         {at("2026-01-05T09:45:00+01:00"), E::windowBlur}});
    EXPECT_EQ(browserFact(quiet, now), "0 tab switches this hour, 30 min in the browser today");
    BrowserRhythm busy({{at("2026-01-05T11:00:00+01:00"), E::windowFocus},
                        {at("2026-01-05T11:20:00+01:00"), E::windowBlur},
                        {at("2026-01-05T13:10:00+01:00"), E::tabSwitch}});
    EXPECT_EQ(browserFact(busy, now), "1 tab switch this hour, 20 min in the browser today");
}

TEST(InspectFacts, LivenessAges) {
    const std::pair<double, const char*> ages[] = {{0, "0s ago"},     {59.9, "59s ago"}, {60, "1m ago"},
                                                   {3599, "59m ago"}, {3600, "1h ago"},  {-5, "0s ago"},
                                                   {1e300, "2562047788015215h ago"}};
    for (const auto& [seconds, label] : ages) EXPECT_EQ(agoLabel(seconds), label) << seconds;
    using F = HeartbeatLiveness::Freshness;
    EXPECT_EQ(Liveness::of(F::fresh(75)), (Liveness{false, "1m ago"}));
    EXPECT_EQ(Liveness::of(F::stale(7200)), (Liveness{true, "2h ago"}));
    EXPECT_EQ(Liveness::of(F::neverHeard()), (Liveness{true, "\u2014"}));
}

TEST(InspectFacts, RestraintFlowAndLoad) {
    EXPECT_TRUE(inFlow(AttentionState::focused, 25));
    EXPECT_FALSE(inFlow(AttentionState::focused, 24));
    EXPECT_FALSE(inFlow(AttentionState::fragmented, 200));
    EXPECT_EQ(restraintNote(true, true), "you\u2019re on a call");
    EXPECT_EQ(restraintNote(false, true), "you\u2019re in a focus stretch");
    EXPECT_EQ(restraintNote(false, false), "");
    EXPECT_EQ(loadLevel(Load::low), 0);
    EXPECT_EQ(loadLevel(Load::medium), 1);
    EXPECT_EQ(loadLevel(Load::high), 2);
}

TEST(InspectFacts, OnlyAReadCalendarAddsItsHeavyDay) {
    AgentSummary summary;
    summary.summary.longAfternoonsThisWeek = 4;
    summary.summary.fragmentedAfternoonsThisWeek = 3;
    summary.summary.today.load = Load::low;
    const double low = RhythmScore::of(summary);
    EXPECT_DOUBLE_EQ(rhythmScore(summary, false, 5, 600), low);
    EXPECT_DOUBLE_EQ(rhythmScore(summary, true, 1, 179), low);
    EXPECT_DOUBLE_EQ(rhythmScore(summary, true, 1, 180), low + 0.12);
    EXPECT_DOUBLE_EQ(rhythmScore(summary, true, 2, 0), low + 0.12);
    summary.summary.today.load = Load::high;
    ASSERT_GT(RhythmScore::of(summary) + 0.12, 1.0);
    EXPECT_DOUBLE_EQ(rhythmScore(summary, true, 2, 0), 1.0) << "the bump never lifts the score past 1";
}

TEST(InspectFacts, DecisionHistoryKeepsOneLinePerChangeNewestFirstAndAtMostEight) {
    test::ScopedTimeZone tz("Europe/Berlin");
    DecisionHistory history;
    EXPECT_TRUE(history.record(false, "notEarnedYet", at("2026-01-05T08:05:09Z")));
    EXPECT_FALSE(history.record(false, "notEarnedYet", at("2026-01-05T08:06:00Z")));
    EXPECT_TRUE(history.record(true, "ignored when firing", at("2026-01-05T08:07:00Z")));
    EXPECT_FALSE(history.record(true, "another", at("2026-01-05T08:08:00Z")));
    EXPECT_TRUE(history.record(false, "notEarnedYet", at("2026-01-05T08:09:00Z")));
    EXPECT_THAT(history.lines(), ElementsAre("09:09:00  silent \u00b7 notEarnedYet", "09:07:00  would nudge",
                                             "09:05:09  silent \u00b7 notEarnedYet"));
    for (int i = 0; i < 9; ++i) history.record(false, "reason " + std::to_string(i), at("2026-01-05T09:00:00Z"));
    ASSERT_EQ(history.lines().size(), DecisionHistory::kLimit);
    EXPECT_EQ(history.lines().front(), "10:00:00  silent \u00b7 reason 8");
    EXPECT_EQ(history.lines().back(), "10:00:00  silent \u00b7 reason 1");
}

TEST(InspectFacts, CloudFieldsFollowTheAsk) {
    CloudFields fields{"she reasoned over it live", "why", std::string("kept line"), "rendered: mind"};
    CloudFields unavailable = fields;
    unavailable.markUnavailable();
    EXPECT_EQ(unavailable, (CloudFields{std::string(CloudFields::kUnavailable), "why", std::string("kept line"),
                                       "rendered: mind"}));
    fields.markAsking();
    EXPECT_EQ(fields, (CloudFields{std::string(CloudFields::kAsking), "", std::nullopt, ""}));
    EXPECT_EQ(CloudFields::kAsking, "Ilvane is reading your whole week\u2026 (up to ~60s)");

    struct Answer {
        const char* name;
        BridgeTrace trace;
        CloudFields shown;
    };
    BridgeTrace refused;
    refused.fired = true;
    refused.renderedLine = "local words";
    refused.source = LineSource::local;
    refused.mindLine = "Mind words?";
    refused.mindReasoning = "thinking";
    refused.voiceFailures = {VoiceRule::noQuestion, VoiceRule::noEmDash};
    BridgeTrace fallback;
    fallback.fired = true;
    fallback.renderedLine = "local words";
    fallback.source = LineSource::local;
    fallback.mindError = "timed-out";
    BridgeTrace silent;
    BridgeTrace sourceless;
    sourceless.mindLine = "Mind words.";
    for (const Answer& a :
         {Answer{"refused by the guard", refused,
                 {"she reasoned over it live", "thinking", std::string("Mind words?"),
                  "would render: local \u00b7 guard rejected: noQuestion, noEmDash"}},
          Answer{"fell back", fallback, {"fell back (timed-out)", "", std::string("local words"), "rendered: local"}},
          Answer{"chose silence", silent, {"she reasoned over it live", "", std::string("(Ilvane chose silence)"), ""}},
          Answer{"no source", sourceless,
                 {"she reasoned over it live", "", std::string("Mind words."), "would render: \u2014"}}}) {
        CloudFields shown;
        shown.answer(a.trace);
        EXPECT_EQ(shown, a.shown) << a.name;
    }
}

TEST(InspectFacts, AReasonSplitsIntoItsMarkAndItsBody) {
    struct Case {
        const char* entry;
        FactorLine split;
    };
    for (const Case& c : {Case{"\u2192 verdict: stay silent", {"\u2192", "verdict: stay silent"}},
                          Case{"\u2717 off-hours \u2014 outside isn\u2019t the move",
                               {"\u2717", "off-hours \u2014 outside isn\u2019t the move"}},
                          Case{"\u00b7\t no call \t", {"\u00b7", "no call"}}, Case{"\u2713", {"\u2713", ""}},
                          Case{"", {"", ""}}, Case{"x two\nlines\n", {"x", "two\nlines\n"}}}) {
        EXPECT_EQ(FactorLine::of(c.entry), c.split) << c.entry;
    }
}

TEST(InspectFacts, FaceLabelsPatternsAndTheClockTimeOfAMoment) {
    EXPECT_EQ(faceLabel(FaceTier::neutral, std::nullopt), "neutral");
    EXPECT_EQ(faceLabel(FaceTier::strained, FaceReading::Rest::steppedAway), "strained (resting: steppedAway)");
    const std::tuple<int, int, const char*> patterns[] = {
        {1, 2, "another scattered afternoon this week"}, {2, 5, "second long afternoon this week"},
        {0, 0, "another long afternoon this week"},      {4, 0, "fourth long afternoon this week"},
        {5, 2, "5th long afternoon this week"}};
    for (const auto& [longs, scattered, phrase] : patterns) {
        AgentSummary summary;
        summary.summary.longAfternoonsThisWeek = longs;
        summary.summary.fragmentedAfternoonsThisWeek = scattered;
        EXPECT_EQ(patternObservation(summary), phrase);
    }
    test::ScopedTimeZone tz("Europe/Berlin");
    EXPECT_EQ(clockLabel(at("2026-01-05T08:02:59Z")), "9:02");
}

TEST(InspectFacts, TheObserveStatusLineFollowsTheLoopAndTodaysFires) {
    test::ScopedTimeZone tz("Europe/Berlin");
    AgentSummary summary;
    summary.summary.longAfternoonsThisWeek = 1;
    auto fires = [](int count, const char* last) { return std::optional<BreatherJournal::FiresToday>({count, at(last)}); };
    const std::tuple<bool, std::optional<BreatherJournal::FiresToday>, std::string> cases[] = {
        // 44 minutes before now, and 45.
        {true, fires(1, "2026-01-05T13:16:00+01:00"), "4 pulls in the last half hour. I left a small line in the reply at 13:16."},
        {true, fires(1, "2026-01-05T13:15:00+01:00"), "4 pulls in the last half hour."},
        {false, fires(2, "2026-01-05T09:05:00+01:00"), "Quieter now. I spoke twice today inside a reply, last at 9:05."},
        {false, std::nullopt, Reflection::observeStatus(summary)},
    };
    for (const auto& [live, today, line] : cases)
        EXPECT_EQ(observeStatusLine(summary, live, 4, today, at("2026-01-05T14:00:00+01:00")), line);
}

}  // namespace
}  // namespace quillfen
