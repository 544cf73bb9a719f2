#include "AppController.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/QtTestSupport.h"
#include "support/ShellHarness.h"

namespace quillfen {
namespace {

static auto* const env = test::addQtEnvironment();

using test::Harness;

// A shown nudge whose fire is pending in the outcome tracker, as the engine leaves it.
struct PanelScene {
    Harness h;

    explicit PanelScene(bool observeOnly = false) {
        test::writeFile(h.home.dataDirectory() / "nudge-outcomes.json",
                        R"({"history":[],"pending":[{"firedAt":"2026-01-05T14:00:00Z","rhythmScoreAtFire":0.5}]})");
        // Settling is at once, so the ask's own end is not waited for.
        h.appearance.reduce = true;
        h.start({{"TAVRYN_OBSERVE_ONLY", observeOnly ? "1" : "0"}, {"TAVRYN_QA_WINDOW_CYCLE", ""}});
        test::spinUntil([&] { return h.controller->ticksHandled() > 0; });
    }

    PanelModel& panel() { return h.controller->panelModel(); }

    void fire(std::optional<MoveLabel> move) {
        NudgeCopy copy;
        copy.panelLineOne = "Three hours at the screen, no real break.";
        copy.primaryButton = "Step outside";
        copy.dismissButton = "Not now";
        copy.moveLabel = move;
        h.controller->handle(TickResult::fire(copy));
    }

    // The answer recorded for the pending fire: none while there is none.
    std::optional<bool> recordedStep() {
        auto file = nlohmann::json::parse(test::readFile(h.home.dataDirectory() / "nudge-outcomes.json"));
        const auto& fire = file.at("pending").at(0);
        if (!fire.contains("explicitlyStepped")) return std::nullopt;
        return fire.at("explicitlyStepped").get<bool>();
    }

    bool popoverShown() { return h.controller->popover() != nullptr && h.controller->popover()->isVisible(); }

    void tap(int taps) {
        h.notifications.invoke(1, "TAVRYN_STEP_OUTSIDE");
        ASSERT_TRUE(test::spinUntil([&] { return h.controller->primaryTaps() == static_cast<std::uint64_t>(taps); }));
        test::spinFor(std::chrono::milliseconds(20));
    }
};

TEST(AppControllerPanel, ThePrimaryActionSettlesTheAskByItsMoveAndRecordsTheStep) {
    const struct {
        std::optional<MoveLabel> move;
        bool popoverStays;
        bool exercise;
    } cases[] = {
        {MoveLabel::stepOutside, false, false},
        {std::nullopt, false, false},
        {MoveLabel::customOther, false, false},
        {MoveLabel::shortPractice, true, false},
        {MoveLabel::breath, true, true},
    };
    for (const auto& c : cases) {
        PanelScene s;
        s.fire(c.move);
        s.tap(1);
        const auto label = c.move ? std::string(toString(*c.move)) : "no move";
        EXPECT_EQ(s.popoverShown(), c.popoverStays) << label;
        if (c.exercise) {
            // The ask waits for the exercise; its end settles it.
            EXPECT_EQ(s.panel().activeIntervention(), InPanelInterventionKind::grounding543);
            EXPECT_EQ(s.panel().askPhase(), AskPhase::expanding);
            EXPECT_EQ(s.recordedStep(), std::nullopt);
            s.panel().onInterventionDone();
        }
        ASSERT_TRUE(test::spinUntil([&] { return !s.panel().nudge(); })) << label;
        EXPECT_EQ(s.recordedStep(), true) << label;
        EXPECT_EQ(s.panel().askPhase(), AskPhase::hidden);
        EXPECT_EQ(s.panel().activeIntervention(), std::nullopt);
        EXPECT_FALSE(s.h.controller->menuBarModel().hasSomethingToSay());
    }
}

TEST(AppControllerPanel, ATapWithNoAskOrOnAnAnsweredOneOnlyClosesThePanel) {
    // "Not now", and later a tap on the notification it left behind.
    PanelScene gone;
    gone.fire(MoveLabel::stepOutside);
    gone.panel().onDismiss();
    gone.panel().onAskSettled();
    ASSERT_EQ(gone.recordedStep(), false);
    gone.tap(1);
    EXPECT_FALSE(gone.popoverShown());
    EXPECT_EQ(gone.recordedStep(), false);

    // A tap on the notification before the dismissed ask has sunk away.
    PanelScene sinking;
    sinking.fire(MoveLabel::stepOutside);
    sinking.panel().onDismiss();
    ASSERT_EQ(sinking.panel().askPhase(), AskPhase::dismissing);
    sinking.panel().onPrimary();
    sinking.panel().onAskSettled();
    EXPECT_EQ(sinking.recordedStep(), false);
}

TEST(AppControllerPanel, AnUnansweredAskAggravatesThePaneOnlyOnAStrainedWeekAndAStepCalmsIt) {
    PanelScene s;
    auto& pane = s.h.controller->livingWindowModel();
    const struct {
        double score;
        bool step;
        bool aggravated;
    } steps[] = {
        {0.59, false, false}, {0.6, false, true},
        {0.59, false, true},  // below the floor the gate keeps what it was
        {0.9, true, false},   {0.59, false, false},
    };
    for (const auto& step : steps) {
        pane.setScore(step.score);
        s.fire(MoveLabel::shortPractice);
        if (step.step) {
            s.panel().onPrimary();
            EXPECT_FALSE(pane.aggravated()) << "the step clears the pane at once";
        } else {
            s.panel().onDismiss();
        }
        s.panel().onAskSettled();
        EXPECT_EQ(s.h.controller->aggravationGate().isAggravated, step.aggravated) << step.score;
        EXPECT_EQ(pane.aggravated(), step.aggravated) << step.score;
    }
}

TEST(AppControllerPanel, TheFrequencySetsTheThresholdsAndItsBoundaryComesBackAtTheNextLaunch) {
    PanelScene s;
    const struct {
        NudgeFrequency frequency;
        int fireAfter, maxPerDay;
        const char* stored;
    } choices[] = {
        {NudgeFrequency::off, 120, 0, "onlyWhenAsked"},
        {NudgeFrequency::quiet, 150, 1, "unmistakable"},
        {NudgeFrequency::off, 150, 0, "onlyWhenAsked"},
        {NudgeFrequency::balanced, 120, 2, "effortStopsChanging"},
        {NudgeFrequency::quiet, 150, 1, "unmistakable"},
    };
    for (const auto& c : choices) {
        s.panel().onFrequencyChange(c.frequency);
        EXPECT_EQ(s.h.controller->config().deciderThresholds.fireAfterMinutes, c.fireAfter);
        EXPECT_EQ(s.h.controller->config().deciderThresholds.maxNudgesPerDay, c.maxPerDay);
        EXPECT_EQ(s.panel().fireThresholdMinutes(), c.fireAfter);
        EXPECT_EQ(s.h.defaults.string("interruptBoundary"), c.stored);
        EXPECT_TRUE(s.h.controller->hasEngine());
    }
    s.h.controller->applicationWillTerminate(std::chrono::milliseconds(2000));
    s.h.start({{"TAVRYN_QA_WINDOW_CYCLE", ""}});
    EXPECT_EQ(s.h.controller->panelModel().frequency(), NudgeFrequency::quiet);
    EXPECT_EQ(s.h.controller->config().deciderThresholds.fireAfterMinutes, 150);
}

TEST(AppControllerPanel, APreviewShowsTheFixedLineAndItsAnswerIsNeverRecordedAgainstAFire) {
    PanelScene watching(true);
    const std::string line = watching.panel().todayStateLine();
    watching.panel().onPreview();
    EXPECT_EQ(watching.panel().nudge(), std::nullopt);
    EXPECT_EQ(watching.panel().todayStateLine(), line);

    PanelScene s;
    s.panel().onPreview();
    ASSERT_TRUE(s.panel().nudge());
    const NudgeCopy& copy = *s.panel().nudge();
    EXPECT_EQ(copy.notificationTitle, "Third long afternoon this week. Step outside for five.");
    EXPECT_EQ(copy.panelLineOne, copy.notificationTitle);
    EXPECT_EQ(copy.notificationBody + copy.panelLineTwo + copy.panelMeta, "");
    EXPECT_EQ(copy.primaryButton, "Step outside");
    EXPECT_EQ(copy.dismissButton, "Not now");
    EXPECT_EQ(copy.moveLabel, MoveLabel::breath);
    EXPECT_EQ(s.panel().todayStateLine(), "Preview \u2014 this is how a nudge appears.");
    EXPECT_EQ(s.panel().askPhase(), AskPhase::expanding);
    EXPECT_EQ(s.panel().askVariant(), 1767621600u);
    EXPECT_TRUE(s.h.controller->menuBarModel().hasSomethingToSay());
    EXPECT_TRUE(s.h.notifications.posted.empty());

    // Recorded as the panel sees it: the exercise ends before the ask starts to sink away.
    std::vector<std::string> seen;
    QObject::connect(&s.panel(), &ObservableModel::changed, [&] {
        const char* phases[] = {"hidden", "expanding", "dismissing"};
        seen.push_back(std::string(s.panel().activeIntervention() ? "exercise" : "no exercise") + ", " +
                       phases[static_cast<int>(s.panel().askPhase())] + (s.panel().nudge() ? "" : ", cleared"));
    });
    s.panel().onPrimary();
    s.panel().onInterventionDone();
    s.panel().onAskSettled();
    EXPECT_EQ(seen, (std::vector<std::string>{"exercise, expanding", "no exercise, expanding",
                                              "no exercise, dismissing", "no exercise, hidden, cleared"}));
    EXPECT_EQ(s.recordedStep(), std::nullopt) << "the fire still pending was not the one answered";
}

TEST(AppControllerPanel, CallbacksKeptPastTheControllerDoNothing) {
    PanelScene s;
    s.fire(MoveLabel::breath);
    const auto& panel = s.panel();
    const std::vector<std::function<void()>> callbacks = {
        panel.onPrimary,  panel.onDismiss,  panel.onAskSettled, panel.onInterventionDone,
        panel.onInspect,  panel.onSettings, panel.onPreview,    panel.onChangeNote,
        [f = panel.onFrequencyChange] { f(NudgeFrequency::off); },
        s.h.controller->inspectModel().onRefresh, s.h.controller->inspectModel().onAskIlvane,
    };
    s.h.controller->applicationWillTerminate(std::chrono::milliseconds(2000));
    s.h.controller.reset();
    for (const auto& callback : callbacks) callback();
    EXPECT_EQ(s.h.defaults.string("interruptBoundary"), std::nullopt);
    EXPECT_EQ(s.recordedStep(), std::nullopt);
}

}  // namespace
}  // namespace quillfen
