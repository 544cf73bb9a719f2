#include "AppController.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <nlohmann/json.hpp>

#include "UI/InspectView.h"
#include "platform/linux/DesktopNotificationsLinux.h"
#include "support/QtTestSupport.h"
#include "support/ShellHarness.h"

namespace quillfen {
namespace {

// A started controller whose outcome tracker holds one pending fire, as the engine leaves it.
struct PanelScene {
    test::Harness h;

    explicit PanelScene(bool observeOnly = false, const std::function<void(test::Harness&)>& arrange = {}) {
        test::writeFile(h.home.dataDirectory() / "nudge-outcomes.json",
                        R"({"history":[],"pending":[{"firedAt":"2026-01-05T14:00:00Z","rhythmScoreAtFire":0.5}]})");
        h.appearance.reduce = true;  // an ask settles at once
        if (arrange) arrange(h);
        h.start({{"TAVRYN_OBSERVE_ONLY", observeOnly ? "1" : "0"}, {"TAVRYN_RENDER_NONE", ""}});
        test::spinUntil([&] { return h.controller->ticksHandled() > 0; });
    }
    PanelModel& panel() { return h.controller->panelModel(); }
    void fire(std::optional<MoveLabel> move) {
        NudgeCopy copy;
        copy.moveLabel = move;
        h.controller->handle(TickResult::fire(copy));
    }
    // The user's answer on the pending fire, if any.
    std::optional<bool> recordedStep() {
        auto fire = nlohmann::json::parse(test::readFile(h.home.dataDirectory() / "nudge-outcomes.json"))["pending"][0];
        return fire.contains("explicitlyStepped") ? std::optional<bool>(fire["explicitlyStepped"]) : std::nullopt;
    }
    // A click on the stone in the tray: true when it opened the panel, false for the rhythm window.
    bool clickTheStone() {
        h.statusItem.handlers.activated();
        bool rhythm = false;
        for (QWidget* top : QApplication::topLevelWidgets())
            rhythm = rhythm || (top->isVisible() && top->findChild<InspectView*>() != nullptr);
        const bool panel = h.controller->popover() && h.controller->popover()->isVisible();
        EXPECT_NE(panel, rhythm);
        return panel;
    }
    // A tap on the nudge's notification, as the notification service reports it.
    bool tapLeavesPanelOpen() {
        const auto taps = h.controller->primaryTaps();
        h.notifications.invoke(1, "TAVRYN_STEP_OUTSIDE");
        test::spinUntil([&] { return h.controller->primaryTaps() > taps; });
        test::spinFor(std::chrono::milliseconds(20));
        return h.controller->popover() && h.controller->popover()->isVisible();
    }
};

TEST(AppControllerPanel, ThePrimaryActionSettlesTheAskByItsMoveAndRecordsTheStep) {
    const std::tuple<std::optional<MoveLabel>, bool> cases[] = {
        {MoveLabel::stepOutside, false}, {std::nullopt, false}, {MoveLabel::shortPractice, true}, {MoveLabel::breath, true}};
    for (const auto& [move, panelStays] : cases) {
        PanelScene s;
        s.fire(move);
        EXPECT_EQ(s.tapLeavesPanelOpen(), panelStays);
        if (move == MoveLabel::breath) {
            // The ask waits for the exercise; its end settles it.
            EXPECT_EQ(s.panel().activeIntervention(), InPanelInterventionKind::grounding543);
            EXPECT_EQ(s.recordedStep(), std::nullopt);
            s.panel().onInterventionDone();
        }
        ASSERT_TRUE(test::spinUntil([&] { return !s.panel().nudge(); }));
        EXPECT_EQ(s.recordedStep(), true);
        EXPECT_EQ(s.panel().askPhase(), AskPhase::hidden);
        EXPECT_FALSE(s.h.controller->menuBarModel().hasSomethingToSay());
    }
}

// A nudge no notification shows is seen only in the panel: the stone opens the panel with it and
// the click answers nothing; once the panel's answer is given, the stone opens the rhythm window.
TEST(AppControllerPanel, TheStoneOpensThePanelWhileANudgeWaitsThatNoNotificationShows) {
    test::PrivateBus bus;
    test::BusConnection noDaemon(bus);
    const auto noServer = makeDesktopNotifications(*noDaemon);
    const struct {
        const char* name;
        bool keptInside, noServer, fires, closed, panel;
    } cases[] = {
        {"kept inside the app", true, false, true, false, true},
        {"no notification server", false, true, true, false, true},
        {"no nudge", false, false, false, false, false},
        {"shown as a notification", false, false, true, false, false},
        {"its notification closed", false, false, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PanelScene s(false, [&](test::Harness& h) {
            if (c.keptInside) h.defaults.setBoolean(NotificationManager::kBannersAllowedKey, false);
            if (c.noServer) h.notificationService = noServer.get();
        });
        if (c.fires) s.fire(MoveLabel::stepOutside);
        // The service answers in the order asked: once this is answered, so is the nudge's post.
        bool answered = false;
        (c.noServer ? *noServer : s.h.notifications).probe([&](auto) { answered = true; });
        ASSERT_TRUE(test::spinUntil([&] { return answered; }));
        if (c.closed) s.h.notifications.close(1);
        ASSERT_EQ(s.clickTheStone(), c.panel);
        if (!c.panel) continue;
        EXPECT_EQ(s.panel().askPhase(), AskPhase::expanding);
        EXPECT_EQ(s.recordedStep(), std::nullopt) << "the click answers nothing";
        s.panel().onDismiss();
        ASSERT_TRUE(test::spinUntil([&] { return !s.panel().nudge(); }));
        EXPECT_EQ(s.recordedStep(), false);
        s.h.controller->popover()->hide();
        EXPECT_FALSE(s.clickTheStone()) << "the answered nudge waits no more";
    }
}

TEST(AppControllerPanel, ATapWithNoAskOrOnAnAnsweredOneCalmsThePaneAndOnlyClosesThePanel) {
    PanelScene s;
    auto& pane = s.h.controller->livingWindowModel();
    pane.setScore(0.9);
    s.fire(MoveLabel::stepOutside);
    s.panel().onDismiss();
    // Before the dismissed ask has sunk away, and after it is gone.
    s.panel().onPrimary();
    s.panel().onAskSettled();
    ASSERT_TRUE(pane.aggravated()) << "waved off on a strained week";
    EXPECT_FALSE(s.tapLeavesPanelOpen());
    EXPECT_FALSE(pane.aggravated()) << "a primary action always clears the gate";
    EXPECT_EQ(s.recordedStep(), false) << "the answer given stays";
}

TEST(AppControllerPanel, AnUnansweredAskAggravatesThePaneOnlyOnAStrainedWeekAndAStepCalmsIt) {
    PanelScene s;
    auto& pane = s.h.controller->livingWindowModel();
    // Below the floor the gate keeps what it was.
    const std::tuple<double, bool, bool> steps[] = {
        {0.59, false, false}, {0.6, false, true}, {0.59, false, true}, {0.9, true, false}};
    for (const auto& [score, step, aggravated] : steps) {
        pane.setScore(score);
        s.fire(MoveLabel::shortPractice);
        step ? s.panel().onPrimary() : s.panel().onDismiss();
        s.panel().onAskSettled();
        EXPECT_EQ(pane.aggravated(), aggravated) << score;
    }
}

TEST(AppControllerPanel, TheFrequencySetsTheThresholdsAndItsBoundaryComesBackAtTheNextLaunch) {
    PanelScene s;
    const std::tuple<NudgeFrequency, int, int, const char*> choices[] = {
        {NudgeFrequency::off, 120, 0, "onlyWhenAsked"}, {NudgeFrequency::quiet, 150, 1, "unmistakable"},
        {NudgeFrequency::off, 150, 0, "onlyWhenAsked"}, {NudgeFrequency::quiet, 150, 1, "unmistakable"}};
    for (const auto& [frequency, fireAfter, maxPerDay, stored] : choices) {
        s.panel().onFrequencyChange(frequency);
        EXPECT_EQ(s.h.controller->config().deciderThresholds.fireAfterMinutes, fireAfter);
        EXPECT_EQ(s.h.controller->config().deciderThresholds.maxNudgesPerDay, maxPerDay);
        EXPECT_EQ(s.panel().fireThresholdMinutes(), fireAfter);
        EXPECT_EQ(s.h.defaults.string("interruptBoundary"), stored);
    }
    s.h.controller->applicationWillTerminate(std::chrono::milliseconds(2000));
    s.h.start({{"TAVRYN_RENDER_NONE", ""}});
    EXPECT_EQ(s.h.controller->panelModel().frequency(), NudgeFrequency::quiet);
}

TEST(AppControllerPanel, APreviewShowsTheFixedLineSeededByTheWholeSecondsAndItsAnswerIsNeverRecordedAgainstAFire) {
    PanelScene watching(true);
    watching.panel().onPreview();
    EXPECT_EQ(watching.panel().nudge(), std::nullopt);

    PanelScene s;
    s.panel().onPreview();
    NudgeCopy expected;
    expected.notificationTitle = expected.panelLineOne = "Third long afternoon this week. Step outside for five.";
    expected.primaryButton = "Step outside";
    expected.dismissButton = "Not now";
    expected.moveLabel = MoveLabel::breath;
    EXPECT_EQ(s.panel().nudge(), expected);
    EXPECT_EQ(s.panel().todayStateLine(), "Preview \u2014 this is how a nudge appears.");
    // 2026-01-05T14:00Z in whole seconds; a fire at the same moment takes the bits of that time
    // as a double.
    EXPECT_EQ(s.panel().askVariant(), 1767621600u);
    PanelScene firing;
    firing.fire(MoveLabel::stepOutside);
    EXPECT_EQ(firing.panel().askVariant(), 0x41DA56F0F8000000u);
    EXPECT_TRUE(s.h.notifications.posted.empty());
    s.panel().onPrimary();
    s.panel().onInterventionDone();
    s.panel().onAskSettled();
    EXPECT_EQ(s.panel().nudge(), std::nullopt);
    EXPECT_EQ(s.recordedStep(), std::nullopt) << "the fire still pending was not the one answered";
}

}  // namespace
}  // namespace quillfen
