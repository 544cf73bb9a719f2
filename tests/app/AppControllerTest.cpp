#include "AppController.h"

#include <gtest/gtest.h>

#include "UI/LivingWindowView.h"
#include "UI/StoneBeing.h"
#include "UI/TextBlock.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>

#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "Reflection/Reflection.h"
#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/IdleTimeLinux.h"
#include "platform/linux/WaylandConnection.h"
#include "support/CapturedSystemLog.h"
#include "support/FakeClaude.h"
#include "support/FixedClock.h"
#include "support/ManualDelay.h"
#include "support/PlantedProgram.h"
#include "support/QtTestSupport.h"
#include "support/ShellHarness.h"
#include "support/ShellWithExtensions.h"
#include "support/StandInCompositor.h"
#include "support/WidgetTree.h"

namespace quillfen {
namespace {

using test::CallJournal;
using test::Harness;

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
        {"normal, promise kept",
         {},
         true,
         {"notifications.probe", "location.requestWhenInUseAuthorization"},
         60},
        {"developer", {{"TAVRYN_DEMO_NUDGE", ""}}, false, {"location.requestWhenInUseAuthorization"}, 60},
        {"render hook",
         {{"TAVRYN_RENDER_GLYPHS_PNG", "glyphs.png"}},
         true,
         {"location.requestWhenInUseAuthorization"},
         60},
        {"inspect", {{"TAVRYN_INSPECT", "1"}}, false, {"location.requestWhenInUseAuthorization"}, 5},
        {"inspect, onboarding forced", {{"TAVRYN_INSPECT", "1"}, {"TAVRYN_FORCE_ONBOARD", ""}}, false, {}, 5},
    };
    for (const auto& run : runs) {
        Harness h;
        if (run.promise) h.keepPromise();
        h.start(h.picturesInHome(run.environment));
        std::vector<std::string> expected{"statusItem.show"};
        if (run.name.rfind("normal", 0) == 0 || run.name.rfind("inspect", 0) == 0)
            expected.insert(expected.end(), upkeep.begin(), upkeep.end());
        expected.insert(expected.end(), run.expected.begin(), run.expected.end());
        // The first tick runs at once, after everything else of the start-up's first half; an
        // inspect run then opens the rhythm window, whose first opening ticks again.
        expected.push_back("tick.read");
        if (run.name.rfind("inspect", 0) == 0) expected.push_back("tick.read");
        EXPECT_EQ(h.journal, expected) << run.name;
        EXPECT_EQ(h.controller->tickInterval(), run.tickInterval) << run.name;
        EXPECT_TRUE(h.controller->hasEngine()) << run.name;
    }
}

// A developer run asks main to end it, once, and only when its picture is drawn or its self-test
// has reported; the test binary lives on to see it.
TEST(AppController, ADeveloperRunAsksToEndOnceItsPictureIsDrawnOrItsSelfTestHasReported) {
    const struct {
        std::string name;
        Environment environment;
        // How often the run had asked to end: at launch, at 0.29 s, and at 0.31 s.
        std::vector<int> ended;
        std::string said;
    } runs[] = {
        {"window self-test", {{"TAVRYN_QA_WINDOW_CYCLE", ""}}, {0, 0, 1}, "QA_WINDOW_CYCLE_OK\n"},
        {"picture", {{"TAVRYN_RENDER_CALM_PNG", "calm.png"}}, {1, 1, 1}, ""},
        {"picture beside the self-test",
         {{"TAVRYN_RENDER_CALM_PNG", "calm.png"}, {"TAVRYN_QA_WINDOW_CYCLE", ""}},
         {1, 1, 1},
         ""},
        {"demo picture", {{"TAVRYN_RENDER_PNG", "calm.png"}, {"TAVRYN_DEMO_NUDGE", ""}}, {1, 1, 1}, ""},
        {"demo", {{"TAVRYN_DEMO_NUDGE", ""}}, {0, 0, 0}, ""},
    };
    for (const auto& run : runs) {
        Harness h;
        testing::internal::CaptureStdout();
        h.start(h.picturesInHome(run.environment));
        std::vector<int> ended{h.developerRunsEnded};
        for (double step : {0.29, 0.02}) {
            h.motion.advance(step);
            ended.push_back(h.developerRunsEnded);
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), run.said) << run.name;
        EXPECT_EQ(ended, run.ended) << run.name;
        EXPECT_EQ(std::filesystem::exists(h.home.path() / "calm.png"), run.ended.front() == 1) << run.name;
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
        h.start({{"TAVRYN_RENDER_NONE", ""}});
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
        h.start({{"TAVRYN_OBSERVE_ONLY", c.observeOnly ? "1" : "0"}, {"TAVRYN_RENDER_NONE", ""}});
        test::spinUntil([&] { return h.controller->ticksHandled() > 0; });
        nlohmann::json budget = {{"dayKey", "2026-1-5"}, {"count", c.firesCounted}};
        test::writeFile(h.home.dataDirectory() / "nudge-budget.json", budget.dump());
        h.controller->rebuildEngineKeepingState();
        h.controller->handle(TickResult::fire(copy));
        EXPECT_EQ(h.controller->shownNudge().has_value(), c.shown);
        EXPECT_EQ(h.controller->menuBarModel().hasSomethingToSay(), c.shown);
        EXPECT_EQ(h.notifications.posted.size(), c.shown ? 1u : 0u);
        EXPECT_EQ(h.controller->inspectModel().decisionReason(), c.reason);
    }
}

TEST(AppController, TheBridgeIsBuiltOnlyWithTheMindOnTheToolInstalledAndThePersonaThere) {
    const struct {
        bool mindOn, tool, persona, bridge;
        bool theirClaudeFolder = false;  // ~/.claude another user's: nothing there is the user's
    } cases[] = {{true, true, true, true},  {true, true, false, false}, {true, false, true, false},
                 {false, true, true, false}, {true, true, true, false, true}};
    for (const auto& c : cases) {
        Harness h;
        if (c.tool) h.installClaude("{}");
        if (c.persona) test::writeFile(h.home.path() / ".claude/agents/carrowin.md", "persona");
        if (c.theirClaudeFolder && !test::giveToAnotherUser(h.home.path() / ".claude")) continue;
        h.start({{"TAVRYN_CLOUD_MIND", c.mindOn ? "1" : "0"}, {"TAVRYN_RENDER_NONE", ""}});
        EXPECT_EQ(h.controller->hasBridge(), c.bridge);
        EXPECT_TRUE(h.controller->hasEngine());
    }
}

TEST(AppController, TheMindConnectionComesFromTheToolsOwnAuthStatus) {
    const struct {
        std::string name;
        bool mindOn;
        std::optional<std::string> output;
        int status;
        MindConnection connection;
    } cases[] = {
        {"mind switched off", false, R"({"loggedIn":true})", 0, MindConnection::off},
        {"no tool", true, std::nullopt, 0, MindConnection::notInstalled},
        {"logged in", true, R"({"loggedIn":true})", 0, MindConnection::connected},
        // Logged out may well exit unsuccessfully; its answer still counts.
        {"logged out", true, R"({"loggedIn":false})", 1, MindConnection::needsConnection},
        {"no loggedIn", true, R"({"account":"x"})", 0, MindConnection::off},
        {"not JSON", true, "Welcome", 0, MindConnection::off},
    };
    for (const auto& c : cases) {
        Harness h;
        if (c.output) h.installClaude(*c.output, c.status);
        h.start({{"TAVRYN_CLOUD_MIND", c.mindOn ? "1" : "0"}, {"TAVRYN_RENDER_NONE", ""}});
        // Whatever was in flight has come back.
        ASSERT_TRUE(test::spinUntil([&] { return h.controller->work().running() == 0; }));
        test::spinFor(std::chrono::milliseconds(50));
        EXPECT_EQ(h.controller->mirrorModel().mindConnection(), c.connection) << c.name;
    }
}

TEST(AppController, ConnectingHandsTheToolToATerminalAsSeparateArguments) {
    Harness h;
    h.installClaude(R"({"loggedIn":false})");
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    h.controller->connectClaude();
    const auto tool = (h.home.path() / ".local/bin/claude").string();
    EXPECT_EQ(h.terminal.runs, (std::vector<std::vector<std::string>>{{tool, "auth", "login"}}));
}

// The ticks, the body's refresh and the rechecks after a login run when their clock reaches them,
// and not before.
TEST(AppController, TheTicksTheRefreshesAndTheRechecksAfterALoginRunAsTheirClockMoves) {
    Harness h;
    test::FakeClaude claude(h.home.path());
    claude.reply(R"({"loggedIn":false})");
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    ASSERT_TRUE(h.settle());
    h.controller->connectClaude();
    // The user completes the login in the terminal.
    claude.reply(R"({"loggedIn":true})");
    const int checksAtStart = claude.runs();
    const struct {
        double at;
        int ticks;
        int checks;
    } moments[] = {
        {7.9, 1, 0}, {8, 1, 1},   {16, 1, 2},  {29.9, 1, 2}, {30, 1, 3},    {59.9, 1, 3},
        {60, 2, 4},  {120, 3, 4}, {180, 4, 4}, {240, 5, 4},  {299.9, 5, 4}, {300, 6, 5},
    };
    for (const auto& moment : moments) {
        h.motion.advance(moment.at - h.motion.seconds);
        ASSERT_TRUE(h.settle());
        EXPECT_EQ(std::count(h.journal.begin(), h.journal.end(), "tick.read"), moment.ticks) << moment.at;
        EXPECT_EQ(claude.runs() - checksAtStart, moment.checks) << moment.at;
        EXPECT_EQ(h.controller->mirrorModel().mindConnection(),
                  moment.checks == 0 ? MindConnection::needsConnection : MindConnection::connected)
            << moment.at;
    }
}

// A neighbour's claude in the folder the application was started from, named by the search
// path's relative entries, with none in the tool's own places: the tool is not installed, and
// nothing at launch, at the refresh, in an ask or at a login runs the planted one.
TEST(AppController, AClaudeInTheWorkingFolderIsNeverTheUsersTool) {
    test::TempDir folder;
    test::PlantedProgram planted(folder.path(), "claude");
    test::ScopedWorkingDirectory cwd(folder.path());
    const std::string relative = ":.:../" + folder.path().filename().string();
    test::ScopedEnv path("PATH", relative);
    Harness h;
    h.claudeSearchPath = relative;
    test::writeFile(h.home.path() / ".claude/agents/carrowin.md", "persona");
    h.start({{"TAVRYN_CLOUD_MIND", "1"}, {"TAVRYN_RENDER_NONE", ""}});
    h.controller->refreshMindConnection();
    h.controller->askIlvane();
    h.controller->connectClaude();
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(h.controller->mirrorModel().mindConnection(), MindConnection::notInstalled);
    EXPECT_FALSE(h.controller->hasBridge());
    EXPECT_TRUE(h.terminal.runs.empty());
    EXPECT_FALSE(planted.ran());
}

TEST(AppController, WakingUnlockingAndScreensComingBackEachTickAtOnce) {
    Harness h;
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    auto ticks = [&] { return std::count(h.journal.begin(), h.journal.end(), "tick.read"); };
    ASSERT_EQ(ticks(), 1);
    h.session.wake();
    h.session.sessionLocked(true);
    h.session.sessionLocked(false);
    h.session.screensAsleep(true);
    h.session.screensAsleep(false);
    EXPECT_EQ(ticks(), 4);
}

// What a tick hands the engine: the call and the focus that hold a nudge back, and the Codex task
// a nudge waits for as the reading before this tick saw it (the one this tick starts lands later).
TEST(AppController, TheTickHandsTheEngineTheCallTheFocusAndTheCodexTaskOfItsMoment) {
    Harness h;
    std::mutex mutex;
    // By the sample's time: ticks on their way to the engine may overtake each other.
    std::map<TimePoint, std::pair<Restraint, Opportunity>> handed;
    std::atomic<bool> codexRuns{true};
    h.core.makeEngine = [&](EngineParts) -> EngineTick {
        return [&](const SignalSample& sample, const std::optional<CoarseLocation>&, Restraint restraint,
                   Opportunity opportunity) {
            std::lock_guard lock(mutex);
            handed.emplace(sample.timestamp, std::pair{restraint, opportunity});
            return TickResult::silent(SilenceReason::notEarnedYet);
        };
    };
    h.core.readCodex = [&](TimePoint, double) {
        CodexActivitySnapshot snapshot;
        snapshot.isTaskRunning = codexRuns;
        return snapshot;
    };
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    const struct {
        int minute;
        bool micInUse;
        bool codexRuns;
        Restraint restraint;
        Opportunity opportunity;
    } moments[] = {
        // The launch's tick comes before any reading of the Codex logs.
        {0, false, true, {false, false}, {true, false}},
        {1, true, true, {true, false}, {true, true}},
        {2, false, false, {false, false}, {true, true}},
        {3, false, false, {false, false}, {true, false}},
        // Focused since the launch, a tick a minute.
        {24, false, false, {false, false}, {true, false}},
        {25, true, false, {true, true}, {true, false}},
    };
    int minute = 0;
    for (const auto& moment : moments) {
        h.audio.inputRunning = moment.micInUse;
        codexRuns = moment.codexRuns;
        for (; minute < moment.minute; ++minute) {
            h.clock.advance(60);
            h.controller->runTick();
        }
        ASSERT_TRUE(h.settle());
        std::lock_guard lock(mutex);
        ASSERT_EQ(handed.size(), static_cast<std::size_t>(minute + 1));
        EXPECT_EQ(handed.rbegin()->second.first, moment.restraint) << moment.minute;
        EXPECT_EQ(handed.rbegin()->second.second, moment.opportunity) << moment.minute;
    }
}

// The first note of what the desktop cannot tell in the rhythm window that is open; none without one.
QWidget* shownSensingNote() {
    QWidget* note = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* found = window->findChild<QWidget*>(QStringLiteral("sensingNote"));
        if (window->isVisible() && found != nullptr) note = found;
    }
    return note;
}

// The first start's lead on the step that is shown; empty when none is.
std::string shownLead() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            for (TextBlock* found : window->findChildren<TextBlock*>(QStringLiteral("lead")))
                if (found->isVisibleTo(window)) return found->text().toStdString();
    return {};
}

// The launch's tick already tells whether the desktop gives an idle time; the rhythm window,
// either face of it, says so while it does not.
TEST(AppController, AnIdleTimeTheDesktopCannotGiveIsSaidInTheRhythmWindowWhileItLasts) {
    const auto unknown = InspectFacts::sensingNotes({true});
    ASSERT_EQ(unknown.size(), 1u);
    for (const bool observeOnly : {true, false}) {
        SCOPED_TRACE(observeOnly);
        Harness h;
        h.idle.seconds = std::nullopt;
        h.start({{"TAVRYN_OBSERVE_ONLY", observeOnly ? "1" : "0"}, {"TAVRYN_RENDER_NONE", ""}});
        EXPECT_EQ(h.controller->inspectModel().sensingNotes(), unknown);
        h.controller->openInspectWindow(false);
        test::settle();
        QWidget* note = shownSensingNote();
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(note->isVisible());
        EXPECT_EQ(test::textOf(*note, "line"), unknown.front().line);

        h.idle.seconds = 12;
        h.clock.advance(60);
        h.controller->runTick();
        test::settle();
        EXPECT_TRUE(h.controller->inspectModel().sensingNotes().empty());
        EXPECT_FALSE(note->isVisible());
    }
}

// With the real layers on a compositor of the test's own: one that offers neither idle protocol,
// and one that goes away after the first ticks. The idle time is unknown and said once, and the
// ticks go on.
TEST(AppController, ACompositorThatGivesNoIdleTimeIsSaidOnceAndTheTicksGoOn) {
    const std::string unknown = "sensing: idle time is unknown on this desktop; reading 0 seconds";
    for (const bool offered : {false, true}) {
        SCOPED_TRACE(offered);
        test::StandInCompositor compositor({true, offered, false});
        test::ManualDelay delay;
        test::CapturedSystemLog log;
        Harness h;
        const auto connection = WaylandConnection::open(compositor.socketPath(), delay, 3);
        auto idle = makeIdleTime(IdleTimeParts{SessionType::wayland,
                                               connection,
                                               QDBusConnection(QStringLiteral("quillfen-no-bus")),
                                               {},
                                               h.clock,
                                               delay,
                                               3,
                                               1});
        h.idleService = idle.get();
        h.start({{"TAVRYN_RENDER_NONE", ""}});
        // What the compositor offers is known before the first tick, however busy the machine.
        ASSERT_TRUE(test::spinUntil([&] { return connection->state() == WaylandConnection::State::listed; }));
        const std::size_t notifications = offered ? 1 : 0;
        ASSERT_TRUE(test::spinUntil([&] { return compositor.notifications().size() == notifications; }));
        test::spinFor(std::chrono::milliseconds(20));
        if (offered) {
            h.clock.advance(60);
            h.controller->runTick();
            EXPECT_TRUE(h.controller->inspectModel().sensingNotes().empty());
            compositor.closeClients();
            ASSERT_TRUE(test::spinUntil([&] { return !idle->secondsSinceLastInput().has_value(); }));
        }
        for (int tick = 0; tick < 3; ++tick) {
            h.clock.advance(60);
            h.controller->runTick();
        }
        ASSERT_TRUE(h.settle());
        EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), unknown), 1);
        EXPECT_EQ(h.controller->inspectModel().sensingNotes(), InspectFacts::sensingNotes({true}));
        EXPECT_EQ(h.controller->ticksHandled(), offered ? 5u : 4u);
    }
}

// Switches the desktop does not show are said where the person looks and, once, in the log: with
// the real chooser on a compositor of the test's own that offers no list of windows, and no KWin,
// GNOME Shell or X server to ask; and on GNOME with the extension off, with the command that
// turns it on.
TEST(AppController, SwitchesTheDesktopDoesNotShowAreSaidInTheRhythmWindowAndOnceInTheLog) {
    test::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    for (const bool gnome : {false, true}) {
        SCOPED_TRACE(gnome);
        std::optional<test::StandInCompositor> compositor;
        test::ManualDelay delay;
        test::CapturedSystemLog log;
        Harness h;
        std::unique_ptr<ApplicationActivations> chosen;
        if (gnome) {
            h.activations.unseen = {true, "quillfen-focus@quillfen.org"};
        } else {
            compositor.emplace();
            chosen = makeApplicationActivations(
                ApplicationActivationsParts{SessionType::wayland,
                                            WaylandConnection::open(compositor->socketPath(), delay, 3),
                                            QDBusConnection(QStringLiteral("quillfen-no-bus")),
                                            {}});
            ASSERT_TRUE(test::spinUntil([&] { return chosen->gap().nativeWindowsUnseen; }));
            h.activationsService = chosen.get();
        }
        h.start({{"TAVRYN_RENDER_NONE", ""}});
        for (int tick = 0; tick < 3; ++tick) {
            h.clock.advance(60);
            h.controller->runTick();
        }
        ASSERT_TRUE(h.settle());
        const auto& notes = h.controller->inspectModel().sensingNotes();
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes.front().line.rfind("Switches between native windows are not seen here", 0), 0u)
            << notes.front().line;
        // The order GNOME needs: it finds an extension only at a login, and turns on only one it found.
        EXPECT_EQ(notes.front().line.find("Log out and in once") != std::string::npos, gnome)
            << notes.front().line;
        EXPECT_EQ(notes.front().command, gnome ? "gnome-extensions enable quillfen-focus@quillfen.org" : "");
        EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                                [](const std::string& line) {
                                    return line.find("not seen on this desktop") != std::string::npos;
                                }),
                  gnome ? 0 : 1);
        h.controller->openInspectWindow(false);
        test::settle();
        QWidget* note = shownSensingNote();
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(test::textOf(*note, "line"), notes.front().line);
        EXPECT_EQ(test::textOf(*note, "command"), notes.front().command);
    }
}

// Where no tray shows the stone, nothing of the application stays on the screen once its windows
// close: the rhythm window, and the first start's last step, say where to find it again. With a
// tray, the last step's words are the tray's.
TEST(AppController, WithoutATrayTheRhythmWindowAndTheFirstStartsLastStepSayHowToComeBack) {
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray);
        Harness h;
        h.statusItem.hostRuns = tray;
        h.start({{"TAVRYN_RENDER_NONE", ""}});
        ASSERT_TRUE(h.settle());
        const auto& notes = h.controller->inspectModel().sensingNotes();
        ASSERT_EQ(notes.size(), tray ? 0u : 1u);
        if (!tray) {
            EXPECT_NE(notes.front().line.find("choose Quillfen in your applications menu"),
                      std::string::npos);
            EXPECT_NE(notes.front().line.find("right-click it there for Settings and Quit"),
                      std::string::npos);
        }
        h.controller->openOnboarding(OnboardingBeat::settled, OnboardingModel::Entry::firstRun);
        test::settle();
        EXPECT_EQ(shownLead(), tray ? OnboardingBeats::lead(OnboardingBeat::settled)
                                    : OnboardingCopy::settledLeadWithoutTray);
    }
}

// What the desktop shows changing (a tray host coming or going, the GNOME Shell extension turned on
// or off) changes what the open windows say at once, with no tick: a person who opens the rhythm
// window once, or reads the first start's last step, reads what is true then.
TEST(AppController, WhatTheDesktopShowsChangingChangesTheOpenWindowsAtOnce) {
    const ApplicationActivations::Gap off{true, "quillfen-focus@quillfen.org"};
    struct Change {
        const char* what;
        bool trayBefore, trayAfter;
        ApplicationActivations::Gap before, after;
    };
    const Change changes[] = {
        {"a tray host comes", false, true, {}, {}},
        {"the tray host goes", true, false, {}, {}},
        {"the extension is turned on", true, true, off, {}},
        {"the extension is turned off", true, true, {}, off},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        Harness h;
        h.statusItem.hostRuns = change.trayBefore;
        h.activations.unseen = change.before;
        h.start({{"TAVRYN_RENDER_NONE", ""}});
        ASSERT_TRUE(h.settle());
        h.controller->openInspectWindow(false);
        h.controller->openOnboarding(OnboardingBeat::settled, OnboardingModel::Entry::firstRun);
        ASSERT_TRUE(h.settle());
        const auto ticks = h.controller->ticksHandled();
        if (change.trayAfter != change.trayBefore) h.statusItem.hostChanges(change.trayAfter);
        if (!(change.after == change.before)) h.activations.gapChanges(change.after);
        test::settle();
        EXPECT_EQ(h.controller->inspectModel().sensingNotes(),
                  InspectFacts::sensingNotes({false, change.after.nativeWindowsUnseen,
                                              change.after.extensionToTurnOn, !change.trayAfter}));
        QWidget* note = shownSensingNote();
        EXPECT_EQ(note != nullptr && note->isVisible(),
                  !change.trayAfter || change.after.nativeWindowsUnseen);
        EXPECT_EQ(shownLead(), change.trayAfter ? OnboardingBeats::lead(OnboardingBeat::settled)
                                                : OnboardingCopy::settledLeadWithoutTray);
        EXPECT_EQ(h.controller->ticksHandled(), ticks);
    }
}

// The desktop's wish for less motion reaches the rhythm window that is open as it changes: its
// stone stops breathing, and breathes again.
TEST(AppController, TheOpenRhythmWindowFollowsTheDesktopsWishForLessMotion) {
    Harness h;
    h.start({{"TAVRYN_OBSERVE_ONLY", "1"}, {"TAVRYN_RENDER_NONE", ""}});
    ASSERT_TRUE(h.settle());
    h.controller->openInspectWindow(false);
    ASSERT_TRUE(h.settle());
    StoneBeing* stone = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && stone == nullptr) stone = window->findChild<StoneBeing*>(QStringLiteral("stone"));
    ASSERT_NE(stone, nullptr);
    for (const bool reduce : {true, false, true}) {
        h.appearance.reduce = reduce;
        h.appearance.change();
        EXPECT_EQ(stone->state().reduceMotion, reduce);
        if (reduce) {
            EXPECT_FALSE(stone->breath().running());
        }
    }
}

// On GNOME with the application's extension off, the rhythm window a start opens says how to turn
// it on as soon as the shell has answered, seconds into the start, not at the next tick; turned on,
// the note goes as soon. With the real chooser on a headless GNOME Shell.
TEST(AppControllerOnGnomeShell,
     TheRhythmWindowOpenedAtStartSaysTheExtensionsCommandWithinSecondsUntilItIsOn) {
    test::ShellWithExtensions session;
    if (auto failure = session.start()) GTEST_SKIP() << *failure;
    const std::string extension = gnomeFocusExtension(*session.version);
    Harness h;
    auto activations = session.choose();
    h.activationsService = activations.get();
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    h.controller->openInspectWindow(false);
    ASSERT_TRUE(h.settle());
    const auto ticks = h.controller->ticksHandled();
    const auto command = [] {
        QWidget* note = shownSensingNote();
        return note != nullptr && note->isVisible() ? test::textOf(*note, "command") : std::string("<none>");
    };
    EXPECT_TRUE(test::spinUntil([&] { return command() == "gnome-extensions enable " + extension; }))
        << command();
    ASSERT_TRUE(test::enable(*session.connection, extension));
    EXPECT_TRUE(test::spinUntil([&] { return command() == "<none>"; })) << command();
    EXPECT_EQ(h.controller->ticksHandled(), ticks);
}

TEST(AppController, WithoutALocationModeTheSkyIsNeverAsked) {
    for (const auto& [mode, asked] : {std::pair{"none", false}, std::pair{"fixedPlace", true}}) {
        Harness h;
        h.start({{"TAVRYN_LOCATION_MODE", mode}, {"TAVRYN_FIXED_PLACE", "Berlin"}, {"TAVRYN_RENDER_NONE", ""}});
        h.controller->refreshSky();
        test::spinUntil([&] { return h.network->requests > 0; },
                        asked ? test::kPatience : std::chrono::milliseconds(300));
        EXPECT_EQ(h.network->requests > 0, asked) << mode;
    }
}

TEST(AppController, TheLivenessFactsTellANeverHeardHeartbeatFromAStaleOne) {
    Harness h;
    h.start({}, false);
    h.controller->buildCore();
    h.controller->publishLiveness();
    EXPECT_EQ(h.controller->livenessFacts().lastTickAgoLabel, "\u2014");
    EXPECT_TRUE(h.controller->livenessFacts().heartbeatStale);
    EXPECT_FALSE(h.controller->menuBarModel().stale());
    h.controller->runTick();
    for (const auto& [age, label, stale] : {std::tuple{59.0, "59s ago", false}, std::tuple{900.0, "15m ago", false},
                                            std::tuple{3600.0, "1h ago", true}}) {
        test::FixedClock later(h.clock.now());
        h.clock.advance(age);
        h.controller->publishLiveness();
        EXPECT_EQ(h.controller->livenessFacts().lastTickAgoLabel, label);
        EXPECT_EQ(h.controller->menuBarModel().stale(), stale) << label;
        h.clock.set(later.now());
    }
}

TEST(AppController, TheTodayLineNamesEachSilenceAndOtherwiseReflects) {
    using R = SilenceReason;
    const std::pair<R, std::string> lines[] = {
        {R::notEarnedYet, "(reflection)"},
        {R::rateCapReached, "I already said my one thing this week."},
        {R::nighttime, "Night. I only watch, I don\u2019t speak after dark."},
        {R::userIsAway, "You\u2019re away from the desk. Nothing to note."},
        {R::heldForFocus, "You\u2019re deep in it. I\u2019ll stay quiet."},
        {R::waitingForCodex, "The work is moving on its own. I\u2019m just watching."},
    };
    for (const auto& [reason, line] : lines)
        EXPECT_EQ(AppController::todayLineFor(TickResult::silent(reason), "(reflection)"), line);
    EXPECT_EQ(AppController::todayLineFor(TickResult::fire({}), "(reflection)"), "(reflection)");
    // At launch: no body, no reflection of the mind.
    Harness h;
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    EXPECT_EQ(h.controller->panelModel().todayStateLine(), Reflection::todayLine(std::nullopt));
}

TEST(AppController, TheOutsidePhraseWordsTheSkysVerdict) {
    auto tail = [](std::optional<std::string> condition, std::optional<bool> daylight,
                   std::optional<std::string> event = std::nullopt) {
        SkyTail t;
        t.skyCondition = condition;
        t.isDaylight = daylight;
        t.rareEventName = event;
        return t;
    };
    const std::pair<SkyVerdict, std::optional<std::string>> cases[] = {
        {SkyVerdict::worthIt(tail("Clear", true)), "clear, good light right now"},
        {SkyVerdict::worthIt(tail("Clear", false)), "clear out right now"},
        {SkyVerdict::worthIt(tail("Clear", std::nullopt)), "clear out right now"},
        {SkyVerdict::worthIt(tail(std::nullopt, true)), "good light out right now"},
        {SkyVerdict::worthIt(tail(std::nullopt, false)), "good light out right now"},
        {SkyVerdict::rare(tail("Clear", false, "Perseids")), "perseids out tonight, worth looking up"},
        {SkyVerdict::rare(tail(std::nullopt, false, "")), "clear enough to be worth it"},
        {SkyVerdict::rare(tail("Haze", true, "")), "haze, good light right now"},
        {SkyVerdict::unknown(), std::nullopt},
    };
    for (const auto& [verdict, phrase] : cases) EXPECT_EQ(AppController::outsidePhrase(verdict), phrase);
}

TEST(AppController, APreviewOfTheDecisionRunsTheDecidersChecksInOrder) {
    Harness h;
    h.start({{"TAVRYN_RENDER_NONE", ""}});
    auto summary = [](int longAfternoons, ScreenBand band, AttentionState attention, Load load) {
        AgentSummary s;
        s.summary.longAfternoonsThisWeek = longAfternoons;
        s.summary.today.continuousScreenBand = band;
        s.summary.today.attentionState = attention;
        s.summary.today.load = load;
        return s;
    };
    const auto calm = AttentionState::focused;
    const struct {
        AgentSummary summary;
        Restraint restraint;
        std::string time;
        bool packed;
        AppController::PreviewDecision expected;
    } cases[] = {
        {summary(3, ScreenBand::overThree, calm, Load::high), {true, false}, "14:00", false,
         {false, "you\u2019re on a call or in deep focus \u2014 protecting it"}},
        {summary(3, ScreenBand::overThree, calm, Load::high), {}, "20:00", false,
         {false, "after hours \u2014 outside isn\u2019t the move"}},
        {summary(1, ScreenBand::overThree, calm, Load::high), {}, "14:00", false,
         {false, "no multi-day pattern yet (need \u22652 long afternoons)"}},
        {summary(2, ScreenBand::twoToThree, calm, Load::low), {}, "14:00", true,
         {true, "a multi-day pattern meeting a long, heavy day (calendar packed too)"}},
        {summary(2, ScreenBand::oneToTwo, calm, Load::low), {}, "14:00", true,
         {false, "the pattern\u2019s there, but this moment isn\u2019t heavy enough yet"}},
        {summary(2, ScreenBand::overThree, AttentionState::fragmented, Load::low), {}, "14:00", false,
         {true, "a real multi-day pattern meeting a long, heavy day"}},
    };
    for (const auto& c : cases) {
        CalendarSignal calendar;
        calendar.authorized = true;
        calendar.backToBack = c.packed ? 2 : 1;
        calendar.busyMinutesToday = 179;
        h.controller->applyCalendar(calendar);
        EXPECT_EQ(h.controller->previewDecision(c.summary, c.restraint, test::at("2026-01-05T" + c.time + ":00Z")),
                  c.expected);
    }
}

TEST(AppController, ATapOnTheNudgeOpensThePanelOnceAndTakesThePrimaryActionEachTime) {
    Harness h;
    h.start({{"TAVRYN_OBSERVE_ONLY", "0"}});
    int primaries = 0;
    h.controller->panelModel().onPrimary = [&] { ++primaries; };
    NudgeCopy copy;
    copy.notificationTitle = "Two hours at the screen, no real break.";
    h.controller->handle(TickResult::fire(copy));
    ASSERT_EQ(h.notifications.posted.size(), 1u);
    EXPECT_EQ(h.controller->panelModel().nudge(), copy);
    EXPECT_EQ(h.controller->panelModel().askPhase(), AskPhase::expanding);

    h.notifications.invoke(1, "TAVRYN_STEP_OUTSIDE");
    ASSERT_TRUE(test::spinUntil([&] { return primaries == 1; }));
    QPointer<QWidget> popover = h.controller->popover();
    ASSERT_TRUE(popover && popover->isVisible());
    h.notifications.invoke(1, "default");
    ASSERT_TRUE(test::spinUntil([&] { return primaries == 2; }));
    EXPECT_EQ(h.controller->popover(), popover.data()) << "the open panel is not opened again";
    h.notifications.invoke(1, "TAVRYN_NOT_NOW");
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(primaries, 2);
}

TEST(AppController, TheDesktopPaneFrownsWhileTheMirrorReportsALiveLoop) {
    Harness h;
    h.start({});
    h.controller->repositionLivingWindow();
    ASSERT_NE(h.controller->livingWindow().window(), nullptr);
    auto* pane = h.controller->livingWindow().window()->findChild<LivingWindowView*>();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->state().being.shape.face, StoneFace::calm);
    h.controller->mirrorModel().publishFace(FaceEvidence::neverSensed(), h.clock.now(), 0, true);
    EXPECT_EQ(pane->state().being.shape.face, StoneFace::strained);
}

}  // namespace
}  // namespace quillfen
