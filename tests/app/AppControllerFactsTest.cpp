#include "AppController.h"

#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "Log/DecisionLog.h"
#include "support/QtTestSupport.h"
#include "support/ShellHarness.h"

namespace quillfen {
namespace {

// 15:00 in Berlin, after a started controller's first tick.
struct FactsScene {
    test::ScopedTimeZone tz{"Europe/Berlin"};
    test::Harness h;

    FactsScene() {
        h.start({{"TAVRYN_RENDER_NONE", ""}});
        test::spinUntil([&] { return h.controller->ticksHandled() > 0; });
    }
    AppController& c() { return *h.controller; }
    std::filesystem::path family() const { return h.home.familyDirectory(); }
    int pendingFires() {
        const auto file = h.home.dataDirectory() / "nudge-outcomes.json";
        return std::filesystem::exists(file) ? int(nlohmann::json::parse(test::readFile(file))["pending"].size()) : 0;
    }
};

// A scattered, heavy day begun at 9:02 (a hair under 9 + 2/60 in binary), the week's second long
// afternoon.
ClaudeBody heavyDay(bool available = true) {
    ClaudeBody body;
    body.available = available;
    body.today.firstHour = 9 + 2 / 60.0;
    body.today.longestRunMin = 125;
    body.today.switches = 7;
    body.today.attention = AttentionState::fragmented;
    body.today.load = Load::high;
    body.longAfternoonsThisWeek = 2;
    body.fragmentedAfternoonsThisWeek = 1;
    return body;
}

TEST(AppControllerFacts, ABodyReadingWordsTheInspectFactsTheReasonsTheMirrorAndThePanel) {
    FactsScene s;
    // A week and a second ago, exactly a week ago, this morning, a second after now, and no time.
    test::writeFile(s.family() / "breather-log.jsonl",
                    "{\"ts\":\"2025-12-29T13:59:59Z\"}\n{\"ts\":\"2025-12-29T15:00:00+01:00\"}\n\n"
                    "{\"ts\":\"2026-01-05T09:05:00+01:00\"}\n{\"ts\":\"2026-01-05T15:00:01+01:00\"}\n{\"ts\":7}");
    test::writeFile(s.family() / "breather-decisions.jsonl",
                    "{\"ts\":\"2026-01-05T10:00:00+01:00\",\"verdict\":\"below\",\"slow\":5}\n");
    test::writeFile(s.family() / "actions-log.jsonl",
                    "{\"action\":\"placed\",\"dayKey\":\"2026-01-05\",\"holdStart\":\"2026-01-05T14:20:00Z\","
                    "\"kind\":\"calendar-break\"}\n");
    DecisionLog::append("reset", "idle break", test::at("2026-01-05T11:00:00Z"));

    s.c().setClaudeBody(heavyDay());
    s.c().publishBody();
    s.c().publishBody();
    const InspectModel& inspect = s.c().inspectModel();
    EXPECT_EQ(inspect.atScreenFact(), "since 9:02, longest stretch 2h 5m");
    EXPECT_EQ(inspect.activeSinceLabel(), "9:02");
    EXPECT_EQ(inspect.thisWeekFact(), "two heavy afternoons, one scattered");
    EXPECT_EQ(inspect.rightNowFact(), "scattered, plugged in");
    EXPECT_EQ(inspect.timesSpokenFact(), "3 times this week, inside replies");
    EXPECT_EQ(inspect.whyFactors(),
              (std::vector<std::string>{"\u2713 2 long afternoons this week \u2014 that\u2019s a real pattern",
                                        "\u2713 today is a long scattered day (125m longest run, 7 project switches)",
                                        "\u00b7 no call or deep-focus stretch to protect",
                                        "\u00b7 it\u2019s daytime, outside is on the table",
                                        "\u2192 verdict: a nudge is earned"}));
    EXPECT_EQ(inspect.decisionLog(), std::vector<std::string>{"15:00:00  would nudge"}) << "one line per change";
    const MirrorModel& mirror = s.c().mirrorModel();
    EXPECT_EQ(mirror.todayDecisionsFact(),
              "spoke at 9:05, 15:00 \u00b7 nearest miss 5 pulls in a half hour \u00b7 one fresh start");
    EXPECT_EQ(mirror.heldTodayFact(), "a ten minute hold at 15:20, yours to keep or delete");
    EXPECT_EQ(s.c().panelModel().observeHeadline(), "This week's rhythm.");
    EXPECT_EQ(s.c().panelModel().observeStatusLine(), "Quieter now. I spoke once today inside a reply, last at 9:05.");
    EXPECT_EQ(s.h.defaults.integer("breatherFiresBridged"), 5) << "the fires found first are a baseline";

    FactsScene unavailable;
    unavailable.c().setClaudeBody(heavyDay(false));
    unavailable.c().publishBody();
    EXPECT_EQ(unavailable.c().inspectModel().atScreenFact(), "\u2014");
    EXPECT_EQ(unavailable.c().mirrorModel().reflectionLine(), "");
}

TEST(AppControllerFacts, TheFaceIsJournalledOnlyWhenItsLabelChanges) {
    FactsScene s;
    const TimePoint now = s.h.clock.now();
    // The first tick judged a calm face already.
    for (const auto& [switches, idle] : {std::pair{10, 0.0}, {45, 0.0}, {50, 0.0}, {45, 600.0}}) {
        SignalSample sample;
        sample.timestamp = now;
        sample.appSwitchesLastHour = switches;
        sample.secondsSinceLastInput = idle;
        s.c().publishFace(sample, PromptCadence(), now);
    }
    std::vector<std::string> faces;
    std::istringstream lines(test::readFile(DecisionLog::defaultFile()));
    for (std::string line; std::getline(lines, line);) {
        if (auto record = nlohmann::json::parse(line); record["kind"] == "face") faces.push_back(record["detail"]);
    }
    EXPECT_EQ(faces, (std::vector<std::string>{"calm to neutral", "neutral to calm (resting: steppedAway)"}));
}

TEST(AppControllerFacts, AnOlderSampleNeverTurnsTheFaceBack) {
    FactsScene s;
    const TimePoint now = s.h.clock.now();
    SignalSample away;
    away.timestamp = now;
    away.displayState = DisplayState::locked;
    s.c().publishFace(away, PromptCadence(), now);
    SignalSample before;
    before.timestamp = now - std::chrono::minutes(1);
    before.appSwitchesLastHour = 45;
    s.c().publishFace(before, PromptCadence(), now);
    EXPECT_EQ(s.c().lastFaceTier(), "calm (resting: notPresent)");
}

TEST(AppControllerFacts, TheBreathersFiresAreImportedFromTheFirstBaselineOn) {
    FactsScene s;
    // No journal yet, then one of 5 lines, 6, cut to 3, and 4 again.
    const std::tuple<int, std::optional<std::int64_t>, int> passes[] = {
        {-1, std::nullopt, 0}, {5, 5, 0}, {6, 6, 1}, {3, 3, 1}, {4, 4, 2}};
    for (const auto& [lines, cursor, pending] : passes) {
        std::string text;
        for (int i = 0; i < lines; ++i) text += "{\"ts\":\"2026-01-05T09:00:00Z\"}\n";
        if (lines >= 0) test::writeFile(s.family() / "breather-log.jsonl", text);
        s.c().bridgeBreatherFires();
        EXPECT_EQ(s.h.defaults.integer("breatherFiresBridged"), cursor);
        EXPECT_EQ(s.pendingFires(), pending);
    }
}

}  // namespace
}  // namespace quillfen
