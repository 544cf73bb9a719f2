#include "AppController.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "support/FakeShellDesktop.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

static auto* const env = test::addQtEnvironment();

using test::CallJournal;

// The network is never reached: every request fails at once.
class NoNetwork final : public HttpFetcher {
public:
    HttpResult get(const HttpRequest&, std::stop_token) override {
        return HttpFailure{HttpFailure::Kind::transport, "no network in tests"};
    }
};

class JournalledLocationManager final : public LocationManager {
public:
    explicit JournalledLocationManager(CallJournal& journal) : journal_(journal) {}
    void setDelegate(LocationManagerDelegate*) override {}
    LocationAuthorization authorizationStatus() const override { return LocationAuthorization::notDetermined; }
    void requestWhenInUseAuthorization() override { journal_.push_back("location.requestWhenInUseAuthorization"); }
    void requestLocation() override { journal_.push_back("location.requestLocation"); }

private:
    CallJournal& journal_;
};

// A whole desktop of doubles around one controller, in a fresh home.
struct Harness {
    test::TestHome home;
    test::FixedClock clock{test::at("2026-01-05T14:00:00Z")};
    CallJournal journal;
    test::MemoryUserDefaults defaults;
    test::JournalledIdleTime idle{journal};
    test::FakeApplicationActivations activations;
    test::FakeSessionEvents session;
    test::FakeAudioDevices audio;
    test::FakePowerSources power;
    test::FakeDesktopAppearance appearance;
    test::FakeDesktopNotifications notifications{journal};
    test::FakeStatusItem statusItem{journal};
    test::FakeTerminalLauncher terminal{journal};
    std::unique_ptr<AppController> controller;

    void start(Environment environment) {
        Desktop desktop{clock,
                        std::move(environment),
                        defaults,
                        idle,
                        activations,
                        session,
                        audio,
                        power,
                        appearance,
                        notifications,
                        statusItem,
                        terminal,
                        nullptr,
                        std::make_shared<NoNetwork>(),
                        std::make_shared<SystemProcessRunner>(),
                        [this] { return std::make_unique<JournalledLocationManager>(journal); },
                        UpkeepServices{
                            [this] { journal.push_back("upkeep.startSelfUpdater"); },
                            [this] { journal.push_back("upkeep.installKeepAlive"); },
                            [this] { journal.push_back("upkeep.disableKeepAlive"); },
                            [this](UserDefaults&) { journal.push_back("upkeep.enableLoginItemOnce"); },
                            [] { return false; },
                            {},
                        }};
        controller = std::make_unique<AppController>(desktop);
        controller->applicationDidFinishLaunching();
    }

    void keepPromise() {
        std::filesystem::create_directories(home.dataDirectory());
        PromiseStore store(std::make_shared<FileLogStore>(home.dataDirectory() / "promise.json"));
        Promise promise;
        promise.dayPhrase = "a long afternoon";
        promise.moves.push_back({Uuid::random(), MoveLabel::stepOutside, "step outside for five"});
        store.save(promise);
    }

    ~Harness() {
        if (controller) controller->applicationWillTerminate(std::chrono::milliseconds(2000));
    }
};

TEST(AppController, StartsUpInItsOrderForTheNormalTheDeveloperAndTheInspectRuns) {
    const std::vector<std::string> upkeep = {"upkeep.startSelfUpdater", "upkeep.installKeepAlive",
                                             "upkeep.enableLoginItemOnce"};
    const struct {
        std::string name;
        Environment environment;
        bool promise;
        std::vector<std::string> expected;
        double tickInterval;
    } runs[] = {
        // Without a promise the onboarding opens, and the location waits for it.
        {"normal, first run", {}, false, {}, 60},
        {"normal, promise kept", {}, true, {"notifications.probe", "location.requestWhenInUseAuthorization"}, 60},
        {"developer", {{"TAVRYN_QA_WINDOW_CYCLE", ""}}, false, {"location.requestWhenInUseAuthorization"}, 60},
        {"render hook", {{"TAVRYN_RENDER_GLYPHS_PNG", "/tmp/x.png"}}, true, {"location.requestWhenInUseAuthorization"}, 60},
        {"inspect", {{"TAVRYN_INSPECT", "1"}}, false, {"location.requestWhenInUseAuthorization"}, 5},
        {"inspect, onboarding forced", {{"TAVRYN_INSPECT", "1"}, {"TAVRYN_FORCE_ONBOARD", ""}}, false, {}, 5},
    };
    for (const auto& run : runs) {
        Harness h;
        if (run.promise) h.keepPromise();
        h.start(run.environment);
        std::vector<std::string> expected{"statusItem.show"};
        if (run.name.rfind("normal", 0) == 0 || run.name.rfind("inspect", 0) == 0)
            expected.insert(expected.end(), upkeep.begin(), upkeep.end());
        expected.insert(expected.end(), run.expected.begin(), run.expected.end());
        // The first tick runs at once, after everything else of the start-up's first half.
        expected.push_back("tick.read");
        EXPECT_EQ(h.journal, expected) << run.name;
        EXPECT_EQ(h.controller->tickInterval(), run.tickInterval) << run.name;
        EXPECT_TRUE(h.controller->hasEngine()) << run.name;
    }
}

TEST(AppController, AStoredBoundaryIsAppliedAndAnUnknownOneFallsBackAndIsWrittenBack) {
    const struct {
        std::optional<std::string> stored;
        int fireAfter;
        int maxPerDay;
        std::optional<std::string> after;
    } cases[] = {
        {std::nullopt, 120, 2, std::nullopt},
        {"unmistakable", 150, 1, "unmistakable"},
        {"onlyWhenAsked", 120, 0, "onlyWhenAsked"},
        {"effortStopsChanging", 120, 2, "effortStopsChanging"},
        {"sometimes", 120, 2, "effortStopsChanging"},
    };
    for (const auto& c : cases) {
        Harness h;
        if (c.stored) h.defaults.setString("interruptBoundary", *c.stored);
        h.start({{"TAVRYN_DECIDER_FIRE_AFTER", ""}});
        EXPECT_EQ(h.controller->config().deciderThresholds.fireAfterMinutes, c.fireAfter);
        EXPECT_EQ(h.controller->config().deciderThresholds.maxNudgesPerDay, c.maxPerDay);
        EXPECT_EQ(h.defaults.string("interruptBoundary"), c.after);
    }
}

TEST(AppController, TheAskHistoryOfTheLastRunIsRestoredAndABrokenOneIgnored) {
    const auto move = Uuid::random();
    const struct {
        std::string document;
        LineHistory history;
        std::optional<Uuid> move;
    } cases[] = {
        {R"({"history":{"lastTemplateId":"words-lead-plain","lastRenderedLine":"Out for five."},"lastMoveId":")" +
             move.toString() + "\"}",
         {"words-lead-plain", "Out for five."},
         move},
        {R"({"history":{}})", LineHistory::empty(), std::nullopt},
        {R"({"history":{"lastTemplateId":3}})", LineHistory::empty(), std::nullopt},
        {R"({"history":{},"lastMoveId":"not-a-uuid"})", LineHistory::empty(), std::nullopt},
        {"[1,", LineHistory::empty(), std::nullopt},
    };
    for (const auto& c : cases) {
        Harness h;
        test::writeFile(h.home.dataDirectory() / "ask-history.json", c.document);
        h.start({{"TAVRYN_QA_WINDOW_CYCLE", ""}});
        EXPECT_EQ(h.controller->lineHistory(), c.history) << c.document;
        EXPECT_EQ(h.controller->lastMoveId(), c.move) << c.document;
    }
}

TEST(AppController, AFireIsShownOnlyOutsideObserveOnlyAndBelowTheDailyCeiling) {
    NudgeCopy copy;
    copy.notificationTitle = "Third long afternoon this week.";
    copy.notificationBody = "Step outside for five.";
    const struct {
        bool observeOnly;
        int firesCounted;  // by the engine, the fire in hand included
        bool shown;
        std::string reason;
    } cases[] = {
        {true, 1, false, "observe-only (M1): would fire, held silent"},
        {false, 2, true, ""},
        {false, 3, false, "reached today's safety ceiling (3) \u2014 the agent rests, never nags"},
    };
    for (const auto& c : cases) {
        Harness h;
        h.start({{"TAVRYN_OBSERVE_ONLY", c.observeOnly ? "1" : "0"}, {"TAVRYN_QA_WINDOW_CYCLE", ""}});
        test::spinUntil([&] { return h.controller->ticksHandled() > 0; });
        nlohmann::json budget = {{"dayKey", "2026-1-5"}, {"count", c.firesCounted}};
        test::writeFile(h.home.dataDirectory() / "nudge-budget.json", budget.dump());
        h.controller->rebuildEngineKeepingState();
        h.controller->handle(TickResult::fire(copy));
        EXPECT_EQ(h.controller->shownNudge().has_value(), c.shown);
        EXPECT_EQ(h.controller->menuBarModel().hasSomethingToSay(), c.shown);
        EXPECT_EQ(h.notifications.posted.size(), c.shown ? 1u : 0u);
        EXPECT_EQ(h.controller->decisionReason().value_or(""), c.reason);
    }
}

}  // namespace
}  // namespace quillfen
