#include "AppController.h"

#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "Log/DecisionLog.h"
#include "Reflection/Reflection.h"
#include "Reflection/RhythmScore.h"
#include "support/QtTestSupport.h"
#include "support/ShellHarness.h"

namespace quillfen {
namespace {

static auto* const env = test::addQtEnvironment();

using test::Harness;

// 15:00 in Berlin, after a started controller's first tick.
struct FactsScene {
    test::ScopedTimeZone tz{"Europe/Berlin"};
    Harness h;

    FactsScene() {
        h.start({{"TAVRYN_QA_WINDOW_CYCLE", ""}});
        test::spinUntil([&] { return h.controller->ticksHandled() > 0; });
    }
    AppController& c() { return *h.controller; }
    std::filesystem::path family() const { return h.home.familyDirectory(); }
    // The journal's lines of one kind, as "detail".
    std::vector<std::string> journal(const std::string& kind) {
        std::vector<std::string> details;
        std::istringstream lines(test::readFile(family() / "decisions-log.jsonl"));
        for (std::string line; std::getline(lines, line);) {
            auto record = nlohmann::json::parse(line);
            if (record["kind"] == kind) details.push_back(record["detail"]);
        }
        return details;
    }
    int pendingFires() {
        const auto file = h.home.dataDirectory() / "nudge-outcomes.json";
        if (!std::filesystem::exists(file)) return 0;
        return static_cast<int>(nlohmann::json::parse(test::readFile(file)).at("pending").size());
    }
};

// A scattered, heavy day begun at 9:02, the second long afternoon of the week.
ClaudeBody heavyDay() {
    ClaudeBody body;
    body.available = true;
    body.today.observed = true;
    body.today.firstHour = 9 + 2 / 60.0;
    body.today.longestRunMin = 125;
    body.today.switches = 7;
    body.today.attention = AttentionState::fragmented;
    body.today.load = Load::high;
    body.days = {body.today};
    body.daysObserved = 5;
    body.longAfternoonsThisWeek = 2;
    body.fragmentedAfternoonsThisWeek = 1;
    return body;
}

TEST(AppControllerFacts, ABodyReadingWordsTheInspectFactsTheReasonsTheMirrorAndThePanel) {
    FactsScene s;
    const std::string fire = R"({"ts":"2026-01-05T09:05:00+01:00"})"
                             "\n";
    test::writeFile(s.family() / "breather-log.jsonl",
                    R"({"ts":"2026-01-01T12:00:00Z"})"
                    "\n" R"({"ts":"2026-01-03T12:00:00Z"})"
                    "\n" +
                        fire);
    test::writeFile(s.family() / "breather-decisions.jsonl",
                    R"({"ts":"2026-01-05T10:00:00+01:00","verdict":"below","slow":5})"
                    "\n");
    test::writeFile(s.family() / "actions-log.jsonl",
                    R"({"action":"placed","dayKey":"2026-01-05","holdEnd":"2026-01-05T14:30:00Z",)"
                    R"("holdStart":"2026-01-05T14:20:00Z","kind":"calendar-break","reason":"loops today 2"})"
                    "\n");
    DecisionLog::append("reset", "idle break", test::at("2026-01-05T11:00:00Z"));

    s.c().setClaudeBody(heavyDay());
    s.c().publishBody();
    const InspectModel& inspect = s.c().inspectModel();
    EXPECT_EQ(inspect.atScreenFact(), "since 9:02, longest stretch 2h 5m");
    EXPECT_EQ(inspect.activeSinceLabel(), "9:02");
    EXPECT_EQ(inspect.thisWeekFact(), "two heavy afternoons, one scattered");
    EXPECT_EQ(inspect.rightNowFact(), "scattered, plugged in");
    EXPECT_EQ(inspect.timesSpokenFact(), "3 times this week, inside replies");
    EXPECT_EQ(inspect.browserFact(), std::nullopt);
    EXPECT_EQ(inspect.todayBand(), "2-3h");
    EXPECT_EQ(inspect.partOfDay(), "afternoon");
    EXPECT_EQ(inspect.loadLevel(), 2);
    EXPECT_EQ(inspect.decisionReason(), "a real multi-day pattern meeting a long, heavy day");
    EXPECT_EQ(inspect.localLine(), "Second long afternoon this week. Step outside for five.");
    EXPECT_EQ(inspect.whyFactors(),
              (std::vector<std::string>{
                  "\u2713 2 long afternoons this week \u2014 that\u2019s a real pattern",
                  "\u2713 today is a long scattered day (125m longest run, 7 project switches)",
                  "\u00b7 no call or deep-focus stretch to protect",
                  "\u00b7 it\u2019s daytime, outside is on the table",
                  "\u2192 verdict: a nudge is earned",
              }));
    EXPECT_EQ(inspect.decisionLog(), std::vector<std::string>{"15:00:00  would nudge"});
    EXPECT_EQ(s.c().livingWindowModel().score(), inspect.rhythmScore());
    EXPECT_EQ(s.c().livingWindowModel().ceilingLine().toStdString(),
              Reflection::todayLine(heavyDay().toSummary(s.h.clock.now(), 0, std::nullopt)));

    const MirrorModel& mirror = s.c().mirrorModel();
    EXPECT_EQ(mirror.todayDecisionsFact(), "spoke at 9:05 \u00b7 nearest miss 5 pulls in a half hour \u00b7 one fresh start");
    EXPECT_EQ(mirror.heldTodayFact(), "a ten minute hold at 15:20, yours to keep or delete");
    EXPECT_EQ(s.c().panelModel().observeHeadline(), "This week's rhythm.");
    EXPECT_EQ(s.c().panelModel().observeStatusLine(), "Quieter now. I spoke once today inside a reply, last at 9:05.");

    // The same decision again adds no history line; the breather's fires are a baseline, not news.
    s.c().publishBody();
    EXPECT_EQ(inspect.decisionLog().size(), 1u);
    EXPECT_EQ(s.h.defaults.integer("breatherFiresBridged"), 3);
    EXPECT_EQ(s.pendingFires(), 0);
}

TEST(AppControllerFacts, TheReasonsWeighThePatternTheDayTheRestraintTheCapAndTheHour) {
    FactsScene s;
    const struct {
        int longs;
        AttentionState attention;
        Load load;
        int run;
        bool mic;
        int firedToday;
        std::vector<std::string> lines;  // the lines between the week's and the verdict
        std::string week;
    } cases[] = {
        {1, AttentionState::fragmented, Load::low, 120, false, 0,
         {"\u2713 today is a long scattered day (120m longest run, 4 project switches)",
          "\u00b7 no call or deep-focus stretch to protect", "\u00b7 it\u2019s daytime, outside is on the table"},
         "\u00b7 only 1 long afternoon this week \u2014 a pattern needs at least 2"},
        {0, AttentionState::focused, Load::medium, 200, false, 1,
         {"\u00b7 today isn\u2019t a long heavy loop yet (focused, medium, 200m run)",
          "\u2717 you\u2019re in a focused stretch \u2014 it protects that, never interrupts it",
          "\u00b7 it\u2019s daytime, outside is on the table"},
         "\u00b7 only 0 long afternoons this week \u2014 a pattern needs at least 2"},
        {3, AttentionState::focused, Load::high, 119, true, 2,
         {"\u00b7 today isn\u2019t a long heavy loop yet (focused, high, 119m run)",
          "\u2717 your mic is live \u2014 you\u2019re on a call, so it holds quiet",
          "\u2717 already at today\u2019s nudge cap \u2014 resting", "\u00b7 it\u2019s daytime, outside is on the table"},
         "\u2713 3 long afternoons this week \u2014 that\u2019s a real pattern"},
    };
    for (const auto& c : cases) {
        nlohmann::json budget = {{"dayKey", "2026-1-5"}, {"count", c.firedToday}};
        test::writeFile(s.h.home.dataDirectory() / "nudge-budget.json", budget.dump());
        s.c().rebuildEngineKeepingState();
        AgentSummary summary;
        summary.summary.longAfternoonsThisWeek = c.longs;
        ClaudeDay today;
        today.attention = c.attention;
        today.load = c.load;
        today.longestRunMin = c.run;
        today.switches = 4;
        std::vector<std::string> expected{c.week};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back("\u2192 verdict: stay silent");
        EXPECT_EQ(s.c().buildWhy(summary, today, DeviceSignals{c.mic, false, false, std::nullopt}, false), expected);
    }
    // 20:00 in Berlin.
    s.h.clock.set(test::at("2026-01-05T19:00:00Z"));
    const auto late = s.c().buildWhy({}, {}, {}, true);
    EXPECT_EQ(late.at(late.size() - 2), "\u2717 off-hours \u2014 outside isn\u2019t the move");
    EXPECT_EQ(late.back(), "\u2192 verdict: a nudge is earned");
}

TEST(AppControllerFacts, AnEasierWeekCalmsTheAggravatedPaneBelowItsFloor) {
    FactsScene s;
    auto& pane = s.c().livingWindowModel();
    pane.setScore(0.9);
    s.c().panelModel().onDismiss();
    ASSERT_TRUE(pane.aggravated());
    for (const auto& [score, aggravated] : {std::pair{0.4, true}, {0.39, false}}) {
        s.c().updateLivingWindow(score, AgentSummary{});
        EXPECT_EQ(pane.aggravated(), aggravated) << score;
        EXPECT_EQ(pane.score(), score);
    }
    EXPECT_EQ(pane.ceilingLine().toStdString(), Reflection::todayLine(AgentSummary{}));
}

TEST(AppControllerFacts, AnUnavailableBodyPublishesNothing) {
    FactsScene s;
    ClaudeBody body = heavyDay();
    body.available = false;
    s.c().setClaudeBody(body);
    s.c().publishBody();
    EXPECT_EQ(s.c().inspectModel().atScreenFact(), "\u2014");
    EXPECT_TRUE(s.c().inspectModel().whyFactors().empty());
    EXPECT_EQ(s.c().mirrorModel().reflectionLine(), "");
    EXPECT_EQ(s.h.defaults.integer("breatherFiresBridged"), std::nullopt);
}

TEST(AppControllerFacts, TheFaceIsJournalledOnlyWhenItsLabelChanges) {
    FactsScene s;
    const TimePoint now = s.h.clock.now();
    auto sample = [&](std::int64_t switches, double idle) {
        SignalSample sample;
        sample.timestamp = now;
        sample.appSwitchesLastHour = switches;
        sample.secondsSinceLastInput = idle;
        return sample;
    };
    // The first tick judged a calm face already.
    for (const auto& [switches, idle] : {std::pair{10, 0.0}, {45, 0.0}, {50, 0.0}, {45, 600.0}})
        s.c().publishFace(sample(switches, idle), PromptCadence(), now);
    EXPECT_EQ(s.journal("face"),
              (std::vector<std::string>{"calm to neutral", "neutral to calm (resting: steppedAway)"}));
    EXPECT_EQ(s.c().menuBarModel().face(), StoneFace::calm);
    EXPECT_EQ(s.c().lastFaceTier(), "calm (resting: steppedAway)");
}

TEST(AppControllerFacts, TheBreathersFiresAreImportedFromTheFirstBaselineOn) {
    FactsScene s;
    const auto log = s.family() / "breather-log.jsonl";
    const struct {
        std::optional<int> lines;
        std::optional<std::int64_t> cursor;
        int pending;
    } passes[] = {
        {std::nullopt, std::nullopt, 0}, {5, 5, 0}, {6, 6, 1}, {3, 3, 1}, {4, 4, 2},
    };
    for (const auto& pass : passes) {
        if (pass.lines) {
            std::string text;
            for (int i = 0; i < *pass.lines; ++i) text += "{\"ts\":\"2026-01-05T09:00:00Z\"}\n";
            test::writeFile(log, text);
        }
        s.c().bridgeBreatherFires();
        EXPECT_EQ(s.h.defaults.integer("breatherFiresBridged"), pass.cursor);
        EXPECT_EQ(s.pendingFires(), pass.pending);
    }
}

}  // namespace
}  // namespace quillfen
