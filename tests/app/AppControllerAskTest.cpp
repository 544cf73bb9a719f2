#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "AppController.h"
#include "Log/DecisionLog.h"
#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "Support/Text.h"
#include "support/ShellHarness.h"
#include "support/FakeClaude.h"
#include "support/ThreadShortage.h"

namespace quillfen {
namespace {

const Environment kSpeaking = {{"TAVRYN_RENDER_NONE", ""}, {"TAVRYN_OBSERVE_ONLY", "0"}};

std::string envelope(const std::string& inner) {
    return nlohmann::json{{"type", "result"}, {"result", inner}}.dump();
}

void keepPromise(const test::Harness& h, std::vector<PromiseMove> moves) {
    std::filesystem::create_directories(h.home.dataDirectory());
    PromiseStore store(std::make_shared<FileLogStore>(h.home.dataDirectory() / "promise.json"));
    Promise promise;
    promise.dayPhrase = "a long afternoon";
    promise.moves = std::move(moves);
    ASSERT_TRUE(store.save(promise));
}

NudgeCopy engineCopy() {
    return {"Two hours at the screen, no real break.", "Step outside for five.", "Two hours", "", "", "Go", "Later", {}};
}

NudgeCopy shownAsk(test::Harness& h) {
    h.controller->handle(TickResult::fire(engineCopy()));
    EXPECT_TRUE(h.controller->shownNudge().has_value());
    return h.controller->shownNudge().value_or(NudgeCopy{});
}

TEST(AppControllerAsk, WithoutAPromiseTheEnginesCopyStandsAndWithoutMovesTheStockStepOutsideIsOffered) {
    test::Harness h;
    const auto file = h.home.dataDirectory() / "ask-history.json";
    h.start(kSpeaking);
    EXPECT_EQ(shownAsk(h), engineCopy());
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing to remember";
    h.stop();
    keepPromise(h, {});
    h.start(kSpeaking);
    const NudgeCopy copy = shownAsk(h);
    EXPECT_NE(copy.panelLineOne.find("step outside for five."), std::string::npos) << copy.panelLineOne;
    EXPECT_EQ(copy.moveLabel, std::nullopt);
    const auto stored = nlohmann::json::parse(test::readFile(file));
    EXPECT_TRUE(stored.contains("history") && !stored.contains("lastMoveId")) << stored;
}

TEST(AppControllerAsk, AsksWalkThePromisedMovesAndVaryTheirWordsAcrossARestart) {
    test::Harness h;
    const PromiseMove outside{Uuid::random(), MoveLabel::stepOutside, "walk round the block"};
    const PromiseMove stretch{Uuid::random(), MoveLabel::shortPractice, "stretch for two minutes"};
    keepPromise(h, {outside, stretch});
    std::vector<std::optional<MoveLabel>> labels;
    std::vector<std::optional<std::string>> templates;
    for (int ask = 0; ask < 4; ++ask) {
        // Every ask after the second comes from a fresh start on the same files.
        if (ask >= 2) h.stop();
        if (!h.controller) h.start(kSpeaking);
        const NudgeCopy copy = shownAsk(h);
        const std::string line = Text::trimmed(copy.panelLineOne);
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(copy, (NudgeCopy{line, "", line, "", "", "Step outside", "Not now", copy.moveLabel}));
        labels.push_back(copy.moveLabel);
        templates.push_back(h.controller->lineHistory().lastTemplateId);
    }
    EXPECT_EQ(labels, (std::vector<std::optional<MoveLabel>>{MoveLabel::stepOutside, MoveLabel::shortPractice,
                                                             MoveLabel::stepOutside, MoveLabel::shortPractice}));
    for (std::size_t i = 1; i < templates.size(); ++i) EXPECT_NE(templates[i], templates[i - 1]) << i;
    const auto stored = nlohmann::json::parse(test::readFile(h.home.dataDirectory() / "ask-history.json"));
    EXPECT_EQ(stored["lastMoveId"], stretch.id.toString());
}

// The explicit ask, against the user's claude tool as a script.
struct Ask : test::Harness {
    test::FakeClaude claude{home.path()};
    Ask() { test::writeFile(home.path() / ".claude/agents/carrowin.md", "You are the stone."); }
    InspectFacts::CloudFields asked() {
        controller->inspectModel().onAskIlvane();
        EXPECT_TRUE(settle());
        return controller->inspectModel().cloud();
    }
};

TEST(AppControllerAsk, TheExplicitAskShowsWhatTheMindSaidAndWhy) {
    const struct {
        std::string name;
        std::string reply;
        InspectFacts::CloudFields shown;
    } cases[] = {
        {"silence with a reason", envelope(R"({"decision":"stay-silent","why":"the week is light"})"),
         {"she reasoned over it live", "the week is light", "(Ilvane chose silence)", ""}},
        {"a line the voice guard refuses", envelope(R"({"decision":"one-nudge","line":"Step out? Now \u2014 please.","why":"w"})"),
         {"she reasoned over it live", "w", "Step out? Now \u2014 please.",
          "would render: local \u00b7 guard rejected: noQuestion, noEmDash"}},
    };
    for (const auto& c : cases) {
        Ask h;
        h.claude.reply(c.reply);
        h.start(test::kDeveloper);
        EXPECT_EQ(h.asked(), c.shown) << c.name;
    }
}

TEST(AppControllerAsk, AnAnswerToAnOlderAskNeverReplacesANewerOne) {
    Ask h;
    h.claude.reply(envelope(R"({"decision":"stay-silent","why":"late"})"));
    h.claude.sleepFor(0.4);
    h.start(test::kDeveloper);
    h.controller->inspectModel().onAskIlvane();
    EXPECT_EQ(h.controller->inspectModel().cloudStatus(), InspectFacts::CloudFields::kAsking);
    // The tool is gone by the second ask, which says so at once.
    std::filesystem::remove(h.claude.path());
    h.controller->inspectModel().onAskIlvane();
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(h.controller->inspectModel().cloudStatus(), InspectFacts::CloudFields::kUnavailable);
    EXPECT_EQ(h.controller->inspectModel().cloudReasoning(), "");
}

TEST(AppControllerAsk, TheContextIsLateFromEightInTheEveningAndHasNoCalendarBeforeOneIsRead) {
    test::Harness h;
    h.start(test::kDeveloper);
    for (const auto& [time, late] : {std::pair{"19:59:59", false}, std::pair{"20:00:00", true}}) {
        h.clock.set(test::at(std::string("2026-01-05T") + time + "Z"));
        const AgentContext context = h.controller->buildContext();
        EXPECT_EQ(context.today.lateNight, late) << time;
        EXPECT_FALSE(context.calendar.has_value());
    }
}

// The decisions journal's reflection details of today.
std::vector<std::string> reflections(const test::Harness& h) {
    std::vector<std::string> details;
    for (const auto& entry : DecisionLog::today(h.clock.now()))
        if (entry.kind == "reflect") details.push_back(entry.detail);
    return details;
}

// A summary of this week with today's load and band as given.
AgentSummary week(Load load, ScreenBand band = ScreenBand::oneToTwo) {
    return {AgentProfile::work, {7, 3, 1, {PartOfDay::afternoon, band, AttentionState::focused, load, false}, 0}, {}};
}

TEST(AppControllerAsk, TheReflectionIsAskedOncePerWeekAsTheMindSeesItAndOneAtATime) {
    Ask h;
    h.claude.reply(envelope(R"({"line":"Third afternoon in a row with the screen."})"));
    h.claude.delayFor(0.3);
    h.start(test::kDeveloper);
    ASSERT_TRUE(h.controller->hasBridge());
    // The start-up's own look at the tool (its auth status) is not a reflection.
    ASSERT_TRUE(h.settle());
    const int startup = h.claude.runs();
    EXPECT_EQ(AppController::reflectionKey(week(Load::low)), "3.1.1-2h.afternoon.focused.0");

    h.controller->refreshGeneratedReflection(week(Load::low));
    // While it runs, another week is dropped, not queued.
    h.controller->refreshGeneratedReflection(week(Load::low, ScreenBand::twoToThree));
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(h.claude.runs(), startup + 1);
    EXPECT_EQ(h.controller->generatedReflection(), "Third afternoon in a row with the screen.");
    EXPECT_EQ(h.controller->inspectModel().reflectionSource(), "mind");
    // Only today's load differs: the same key.
    h.controller->refreshGeneratedReflection(week(Load::high));
    h.controller->refreshGeneratedReflection(week(Load::low, ScreenBand::twoToThree));
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(h.claude.runs(), startup + 2);

    // A failing mind leaves no line; its week is not asked again.
    h.claude.reply("", 1);
    h.controller->refreshGeneratedReflection(week(Load::low, ScreenBand::overThree));
    ASSERT_TRUE(h.settle());
    h.controller->refreshGeneratedReflection(week(Load::low, ScreenBand::overThree));
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(h.claude.runs(), startup + 3);
    EXPECT_EQ(h.controller->generatedReflection(), std::nullopt);

    const std::vector<std::string> details = reflections(h);
    ASSERT_EQ(details.size(), 3u);
    EXPECT_EQ(details[0], "mind: Third afternoon in a row with the screen.");
    EXPECT_EQ(details[2].rfind("mind-error: transport(", 0), 0u) << details[2];
}

// A hung tool: the ask and the reflection each give up at their own time-out and fall back.
TEST(AppControllerAsk, TheAskAndTheReflectionGiveUpOnAHungToolAtTheirTimeOuts) {
    Ask h;
    h.core.mindTimeouts = {1.0, 0.2, 1.0, 0.2, 0.2};
    h.start(test::kDeveloper);
    ASSERT_TRUE(h.controller->hasBridge());
    ASSERT_TRUE(h.settle());
    h.claude.hangs();
    h.controller->refreshGeneratedReflection(week(Load::low));
    EXPECT_EQ(h.asked().status, "fell back (timed-out)");
    h.claude.hold().letGo();
    EXPECT_FALSE(h.claude.hold().gaveUp()) << "the ask or the reflection waited for the tool";
    EXPECT_EQ(reflections(h), std::vector<std::string>{"timed-out"});
}

// Short of threads, neither the reflection nor the ask is left marked as under way: the same
// week is asked again at the next occasion, once threads are to be had.
TEST(AppControllerAsk, AReflectionOrAnAskWithoutAThreadIsAskedAgainAtItsNextOccasion) {
    if (!test::canRunShortOfThreads()) GTEST_SKIP() << "no process limit binds this user";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Ask h;
    h.claude.reply(envelope(R"({"line":"Third afternoon in a row with the screen."})"));
    h.start(test::kDeveloper);
    ASSERT_TRUE(h.controller->hasBridge());
    ASSERT_TRUE(h.settle());
    const auto shortOfThreads = [&] {
        const auto liftLimit = test::runShortOfThreads({h.home.path()});
        std::string seen;
        const auto before = h.controller->inspectModel().cloudStatus();
        h.controller->refreshGeneratedReflection(week(Load::low));
        h.controller->inspectModel().onAskIlvane();
        seen += h.controller->work().running() == 0 ? "nothing runs" : "something runs";
        seen += h.controller->inspectModel().cloudStatus() == before ? "; the ask is not shown waiting" : "";
        liftLimit();
        h.controller->refreshGeneratedReflection(week(Load::low));
        h.settle();
        seen += "; " + h.controller->generatedReflection().value_or("no line");
        test::exitSeeing(seen, "nothing runs; the ask is not shown waiting; Third afternoon in a row with the screen.");
    };
    EXPECT_EXIT(shortOfThreads(), testing::ExitedWithCode(0), "");
}

TEST(AppControllerAsk, AuthStatusIsTheToolsWholeAnswerWithinItsDeadline) {
    test::TestHome home;
    test::FakeClaude claude(home.path());
    const SystemProcessRunner runner;
    const std::string large = R"({"loggedIn":true,"note":")" + std::string(1'000'000, 'x') + "\"}";
    const struct {
        std::string name;
        std::string reply;
        bool hung;
        std::optional<bool> loggedIn;
    } cases[] = {
        {"an answer", R"({"loggedIn":false})", false, false},
        {"a megabyte of answer", large, false, true},
        {"still running at the deadline", R"({"loggedIn":true})", true, std::nullopt},
    };
    for (const auto& c : cases) {
        claude.reply(c.reply);
        claude.hangs(c.hung);
        // Time enough for the stand-in's megabyte on a busy machine.
        const auto output = AppController::runClaudeAuthStatus(runner, claude.path().string(), {}, 3.0);
        EXPECT_FALSE(claude.hold().gaveUp()) << c.name << ": the call waited for the tool";
        EXPECT_EQ(MindConnections::loggedInFromAuthStatusJson(output), c.loggedIn) << c.name;
        if (c.loggedIn) {
            EXPECT_EQ(output->size(), c.reply.size()) << c.name;
        }
    }
    EXPECT_EQ(claude.lastArguments(), (std::vector<std::string>{"auth", "status"}));
}

}  // namespace
}  // namespace quillfen
