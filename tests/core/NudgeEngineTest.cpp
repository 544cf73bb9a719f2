#include "NudgeEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Log/FileLogStore.h"
#include "Mind/MindError.h"
#include "Strings.h"
#include "support/FixedClock.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedMind.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;
using test::at;
using test::ScriptedMind;

constexpr const char* kClearSky =
    R"({"weather": {"current": {"condition": "Clear", "temperatureC": 14}}, "astronomy": {"isDay": true}})";
constexpr const char* kMeteorNight =
    R"({"weather": {"current": {"condition": "Clear"}}, "astronomy": {"isDay": false, "primaryEvent": {"name": "Perseids"}}})";
constexpr const char* kSilentSky = R"({"silent": true})";

constexpr Restraint kFree{};
constexpr Opportunity kAnyTime{};

class NudgeEngineTest : public ::testing::Test {
protected:
    NudgeEngineTest() {
        sky.server().Get("/api/moon", [this](const httplib::Request&, httplib::Response& res) {
            const int now = ++inFlight;
            int seen = maxInFlight.load();
            while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
            }
            ++requests;
            if (skyDelay > 0ms) std::this_thread::sleep_for(skyDelay);
            std::lock_guard lock(bodyMutex);
            res.set_content(skyBody, "application/json");
            --inFlight;
        });
        sky.start();
        config.farlumeBaseURL = sky.baseURL();
        config.locationMode = LocationMode::none;
    }

    void answerSky(std::string body) {
        std::lock_guard lock(bodyMutex);
        skyBody = std::move(body);
    }

    std::shared_ptr<NudgeOutcomeTracker> openTracker() {
        tracker = std::make_shared<NudgeOutcomeTracker>(std::make_shared<FileLogStore>(outcomesFile), clock);
        return tracker;
    }

    std::unique_ptr<NudgeEngine> engine(std::optional<MindBridge> bridge = std::nullopt) {
        return std::make_unique<NudgeEngine>(config,
                                             FarlumeClient(config, std::make_shared<CurlHttpFetcher>()),
                                             budget, log, std::move(bridge), tracker, clock, lastFire);
    }

    // A fragmented stretch of `minutes` at the screen, stamped now.
    SignalSample stretch(int minutes, double hour = 10.0) const {
        SignalSample s;
        s.timestamp = clock.now();
        s.continuousActiveSeconds = minutes * 60.0;
        s.appSwitchesLastHour = 20;
        s.secondsSinceLastInput = 5;
        s.localHour = hour;
        return s;
    }

    test::TestHome home;
    test::ScopedTimeZone tz{"UTC"};
    test::TempDir dir;
    test::FixedClock clock{at("2026-01-05T10:00:00Z")};
    AppConfig config;
    std::filesystem::path outcomesFile = dir.path() / "nudge-outcomes.json";
    std::shared_ptr<SignalLog> log = std::make_shared<SignalLog>(
        std::make_shared<FileLogStore>(dir.path() / "signal-log.json"), 14, clock);
    std::shared_ptr<NudgeBudget> budget = std::make_shared<NudgeBudget>(
        std::make_shared<FileLogStore>(dir.path() / "nudge-budget.json"), clock);
    std::shared_ptr<NudgeOutcomeTracker> tracker;
    // Shared by every engine a test builds, as the controller shares it.
    std::shared_ptr<LastFire> lastFire = std::make_shared<LastFire>();

    std::mutex bodyMutex;
    std::string skyBody = kClearSky;
    std::chrono::milliseconds skyDelay{0};
    std::atomic<int> requests{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    // Last, so that it stops serving before anything its handler uses goes.
    test::LocalHttpServer sky;
};

TEST_F(NudgeEngineTest, FiresAnEarnedNudgeOnceCountingItAlsoWhenOnlyObserving) {
    ASSERT_TRUE(config.observeOnly);
    openTracker();
    auto nudges = engine();

    const TickResult result = nudges->tick(stretch(120), std::nullopt, kFree, kAnyTime);
    const NudgeCandidate candidate{120, 20, 10.0, true};
    EXPECT_EQ(result, TickResult::fire(Strings::nudge(candidate, FarlumeClient::interpret(kClearSky))));
    ASSERT_NE(result.fired(), nullptr);
    EXPECT_EQ(result.fired()->notificationBody, "It’s clear out, around 14°. Step outside for five.");
    EXPECT_EQ(budget->firedToday(), 1);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(log->all().size(), 1u);
    EXPECT_NE(test::readFile(outcomesFile).find(R"("pending":[{"firedAt":"2026-01-05T10:00:00Z")"),
              std::string::npos);
}

TEST_F(NudgeEngineTest, AStretchThatGoesOnEarnsItsNextNudgeAFullWaitAfterTheLast) {
    const struct {
        bool learning;
        int stillQuiet;
        int fires;
    } cases[] = {
        {false, 239, 240},
        // The first nudge, unanswered, is judged ignored 25 minutes on: 20 minutes more.
        {true, 259, 260},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.learning ? "learning" : "not learning");
        tracker.reset();
        if (c.learning) openTracker();
        auto nudges = engine();
        int minute = 120;
        auto tickAt = [&](int m) {
            clock.advance((m - minute) * 60.0);
            minute = m;
            return nudges->tick(stretch(m), std::nullopt, kFree, kAnyTime);
        };
        ASSERT_TRUE(tickAt(120).fired());
        for (int m : {121, 146}) EXPECT_EQ(tickAt(m), TickResult::silent(SilenceReason::notEarnedYet)) << m;
        // Rebuilt, as after a change of frequency, it still knows the stretch has fired.
        nudges = engine();
        EXPECT_EQ(tickAt(c.stillQuiet), TickResult::silent(SilenceReason::notEarnedYet));
        EXPECT_TRUE(tickAt(c.fires).fired());
        EXPECT_EQ(tickAt(c.fires + 200), TickResult::silent(SilenceReason::rateCapReached));
        clock.advance(86400);
    }

    // A break ends the stretch: the next one earns its nudge by its own length.
    tracker.reset();
    auto nudges = engine();
    ASSERT_TRUE(nudges->tick(stretch(120), std::nullopt, kFree, kAnyTime).fired());
    clock.advance(600);
    SignalSample away = stretch(0);
    away.secondsSinceLastInput = 540;
    EXPECT_EQ(nudges->tick(away, std::nullopt, kFree, kAnyTime), TickResult::silent(SilenceReason::userIsAway));
    clock.advance(119 * 60.0);
    EXPECT_EQ(nudges->tick(stretch(119), std::nullopt, kFree, kAnyTime),
              TickResult::silent(SilenceReason::notEarnedYet));
    clock.advance(60);
    EXPECT_TRUE(nudges->tick(stretch(120), std::nullopt, kFree, kAnyTime).fired());
}

TEST_F(NudgeEngineTest, TheSkyOnlyFlavoursTheLocalWords) {
    const struct {
        const char* sky;
        const char* body;
        const char* lineTwo;
        const char* primary;
    } cases[] = {
        {kSilentSky, "Step outside for five.", "Step outside for five.", "Step outside"},
        {"not json", "Step outside for five.", "Step outside for five.", "Step outside"},
        {kClearSky, "It’s clear out, around 14°. Step outside for five.", "It’s clear out, around 14°.",
         "Step outside"},
        {kMeteorNight, "There’s a meteor shower out tonight. Worth stepping outside for five.",
         "There’s a meteor shower out tonight.", "Go catch it"},
    };
    for (const auto& c : cases) {
        answerSky(c.sky);
        auto copy = engine()->tick(stretch(180), std::nullopt, kFree, kAnyTime);
        ASSERT_TRUE(copy.fired()) << c.sky;
        EXPECT_EQ(copy.fired()->notificationTitle, "Three hours at the screen, no real break.");
        EXPECT_EQ(copy.fired()->notificationBody, c.body) << c.sky;
        EXPECT_EQ(copy.fired()->panelLineTwo, c.lineTwo) << c.sky;
        EXPECT_EQ(copy.fired()->primaryButton, c.primary) << c.sky;
        EXPECT_EQ(copy.fired()->dismissButton, "Not now");
        clock.advance(86400);  // a fresh day's budget for the next case
    }
}

// The sky check's race throws when no thread can be started for it: no answer, not a failed tick.
TEST_F(NudgeEngineTest, ASkyCheckThatThrowsLeavesTheWordsPlain) {
    struct NoThread final : HttpFetcher {
        HttpResult get(const HttpRequest&, std::stop_token) override {
            throw std::system_error(EAGAIN, std::generic_category(), "no thread");
        }
    };
    NudgeEngine engine(config, FarlumeClient(config, std::make_shared<NoThread>()), budget, log, std::nullopt,
                       nullptr, clock);
    const TickResult result = engine.tick(stretch(120), std::nullopt, kFree, kAnyTime);
    ASSERT_TRUE(result.fired());
    EXPECT_EQ(result.fired()->notificationBody, "Step outside for five.");
}

TEST_F(NudgeEngineTest, AHeldOrRefusedNudgeAsksNoSkyAndCountsNothing) {
    const struct {
        const char* name;
        SignalSample sample;
        Restraint restraint;
        Opportunity opportunity;
        SilenceReason expected;
    } cases[] = {
        {"no task", stretch(120), {}, {true, false}, SilenceReason::waitingForCodex},
        {"no task and on a call", stretch(120), {true, false}, {true, false}, SilenceReason::waitingForCodex},
        {"task runs, on a call", stretch(120), {true, false}, {true, true}, SilenceReason::heldForFocus},
        {"in flow", stretch(120), {false, true}, {}, SilenceReason::heldForFocus},
        {"night comes first", stretch(120, 22.0), {true, true}, {true, false}, SilenceReason::nighttime},
        {"not earned comes first", stretch(119), {true, false}, {true, false}, SilenceReason::notEarnedYet},
    };
    openTracker();
    auto nudges = engine();
    for (const auto& c : cases) {
        EXPECT_EQ(nudges->tick(c.sample, CoarseLocation{52.5, 13.4}, c.restraint, c.opportunity),
                  TickResult::silent(c.expected))
            << c.name;
        clock.advance(60);
    }
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(budget->firedToday(), 0);
    EXPECT_FALSE(std::filesystem::exists(outcomesFile)) << "no fire recorded for learning";
    EXPECT_EQ(log->all().size(), std::size(cases)) << "every sample is logged";
}

TEST_F(NudgeEngineTest, WhileACodexTaskRunsTheNudgeIsWordedForItAndNoMindIsAsked) {
    auto mind = std::make_shared<ScriptedMind>(
        ScriptedMind::deciding(MindDecision::oneNudge("A long week. Step outside for five.", "")));
    auto nudges = engine(MindBridge(AgentTenant::ilvane(), mind, 1.0, 1.0));

    const auto result = nudges->tick(stretch(130), std::nullopt, kFree, {true, true});
    EXPECT_EQ(result, TickResult::fire(
                          Strings::codexNudge({130, 20, 10.0, true}, FarlumeClient::interpret(kClearSky))));
    EXPECT_EQ(result.fired()->notificationBody,
              "Codex can keep going without you. It’s clear out, around 14°. Step outside for five.");
    EXPECT_EQ(mind->calls(), 0);
    EXPECT_EQ(budget->firedToday(), 1);
}

TEST_F(NudgeEngineTest, RecentMissesLengthenTheWaitUpToTheCap) {
    const struct {
        std::vector<const char*> oldestFirst;
        int stillQuiet;
        int fires;
    } cases[] = {
        {{"ignored", "ignored", "ignored"}, 179, 180},
        {{"landed", "unknown", "ignored", "ignored"}, 179, 180},
        {{"ignored", "ignored", "ignored", "ignored", "ignored"}, 209, 210},
        {{"ignored", "ignored", "ignored", "ignored", "ignored", "ignored", "ignored"}, 209, 210},
        {{"ignored", "ignored", "landed"}, 119, 120},
    };
    for (const auto& c : cases) {
        std::string history;
        for (const char* outcome : c.oldestFirst) {
            history += std::string(history.empty() ? "" : ",") + R"({"outcome":")" + outcome +
                       R"(","partOfDay":"morning","resolvedAt":"2026-01-04T10:00:00Z"})";
        }
        test::writeFile(outcomesFile, R"({"history":[)" + history + R"(],"pending":[]})");
        openTracker();
        auto nudges = engine();
        EXPECT_EQ(nudges->tick(stretch(c.stillQuiet), std::nullopt, kFree, kAnyTime),
                  TickResult::silent(SilenceReason::notEarnedYet))
            << c.stillQuiet;
        EXPECT_TRUE(nudges->tick(stretch(c.fires), std::nullopt, kFree, kAnyTime).fired()) << c.fires;
        EXPECT_EQ(tracker->recentOutcomes(10).size(), c.oldestFirst.size())
            << "the fire is pending, not judged";
        clock.advance(86400);
    }
}

TEST_F(NudgeEngineTest, ATickJudgesEarlierFiresFromTheLoggedSamples) {
    openTracker();
    auto nudges = engine();
    ASSERT_TRUE(nudges->tick(stretch(120), std::nullopt, kFree, kAnyTime).fired());

    clock.advance(360);
    SignalSample away = stretch(0);
    away.secondsSinceLastInput = 300;  // away since a minute after the fire
    EXPECT_EQ(nudges->tick(away, std::nullopt, kFree, kAnyTime),
              TickResult::silent(SilenceReason::userIsAway));

    clock.set(at("2026-01-05T10:24:59Z"));
    (void)nudges->tick(stretch(5), std::nullopt, kFree, kAnyTime);
    EXPECT_TRUE(tracker->recentOutcomes(5).empty());
    clock.set(at("2026-01-05T10:25:00Z"));
    (void)nudges->tick(stretch(6), std::nullopt, kFree, kAnyTime);
    EXPECT_EQ(tracker->recentOutcomes(5), std::vector<NudgeOutcome>{NudgeOutcome::landed});
}

struct BridgeCase {
    const char* name;
    ScriptedMind mind;
    std::string localLine;
    const char* sky;
    std::optional<NudgeCopy> expected;
    std::optional<bool> skyConfirmedGood;
};

void PrintTo(const BridgeCase& c, std::ostream* os) {
    *os << c.name;
}

NudgeCopy oneLine(std::string line) {
    NudgeCopy copy;
    copy.notificationTitle = line;
    copy.panelLineOne = line;
    copy.primaryButton = "Step outside";
    copy.dismissButton = "Not now";
    return copy;
}

class NudgeEngineBridge : public NudgeEngineTest, public testing::WithParamInterface<BridgeCase> {};

TEST_P(NudgeEngineBridge, WordsTheNudgeFromAUsableTraceOrStaysSilent) {
    const BridgeCase& c = GetParam();
    answerSky(c.sky);
    auto seen = std::make_shared<std::optional<std::optional<bool>>>();
    AgentTenant tenant = AgentTenant::ilvane();
    tenant.renderLocalLine = [seen, line = c.localLine](const AgentSummary& summary) {
        *seen = summary.skyConfirmedGood;
        return line;
    };
    openTracker();
    auto nudges = engine(MindBridge(tenant, std::make_shared<ScriptedMind>(c.mind), 1.0, 1.0));

    const TickResult result = nudges->tick(stretch(125), std::nullopt, kFree, kAnyTime);
    EXPECT_EQ(requests, 1);
    ASSERT_TRUE(seen->has_value()) << "the bridge was consulted";
    EXPECT_EQ(**seen, c.skyConfirmedGood);
    if (c.expected) {
        EXPECT_EQ(result, TickResult::fire(*c.expected));
        EXPECT_EQ(budget->firedToday(), 1);
        EXPECT_TRUE(std::filesystem::exists(outcomesFile));
    } else {
        EXPECT_EQ(result, TickResult::silent(SilenceReason::notEarnedYet));
        EXPECT_EQ(budget->firedToday(), 0);
        EXPECT_FALSE(std::filesystem::exists(outcomesFile));
    }
}

INSTANTIATE_TEST_SUITE_P(
    NudgeEngine, NudgeEngineBridge,
    testing::Values(
        BridgeCase{"MindChoseSilence", ScriptedMind::deciding(MindDecision::staySilent("calm")),
                   "Step outside for five.", kClearSky, std::nullopt, true},
        BridgeCase{"MindsLine",
                   ScriptedMind::deciding(MindDecision::oneNudge("A long week. Step outside for five.", "")),
                   "Step outside for five.", kSilentSky, oneLine("A long week. Step outside for five."),
                   std::nullopt},
        BridgeCase{"PaddedLocalLineIsTrimmed", ScriptedMind::failing(MindError::transport("down")),
                   "  Step outside for five.\n", kMeteorNight, oneLine("Step outside for five."), true},
        BridgeCase{"BlankLocalLineSaysNothing", ScriptedMind::failing(MindError::transport("down")), " \n\t ",
                   kClearSky, std::nullopt, true},
        BridgeCase{"EmptyLocalLineSaysNothing", ScriptedMind::failing(MindError::timedOut()), "", kSilentSky,
                   std::nullopt, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NudgeEngineTest, TicksOnOneEngineRunOneAfterTheOther) {
    skyDelay = 40ms;
    auto nudges = engine();
    std::vector<std::jthread> ticks;
    // Two stretches, three hours apart, so that each earns its nudge whichever runs first.
    for (int i = 0; i < 2; ++i) {
        SignalSample sample = stretch(150);
        sample.timestamp = addSeconds(sample.timestamp, i * 3 * 3600.0);
        ticks.emplace_back(
            [&, sample] { EXPECT_TRUE(nudges->tick(sample, std::nullopt, kFree, kAnyTime).fired()); });
    }
    ticks.clear();
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(maxInFlight, 1);
    EXPECT_EQ(budget->firedToday(), 2);
}

}  // namespace
}  // namespace quillfen
