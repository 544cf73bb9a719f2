#include <unistd.h>

#include <cstdio>

#include <QTimer>

#include "AppController.h"
#include "Support/Text.h"
#include "UI/PanelView.h"
#include "WindowChrome.h"

// The stone handed over from the web, and the developer's entries into start-up: the window
// self-test and the demo nudge. The render hooks, which draw one surface into a PNG file and
// end the process, take their places in runDeveloperHooks.

namespace quillfen {

namespace {

constexpr auto kSelfTestReportDelay = std::chrono::milliseconds(300);

}  // namespace

void AppController::openUrls(const std::vector<std::string>& urls) {
    // Before the core is built there is no store to keep a stone in; start-up builds it first.
    if (!handoffEntry_) return;
    for (const auto& url : urls) {
        if (handoffEntry_->open(url)) refreshStoneSurfaces();
    }
}

void AppController::runDeveloperHooks() {
    if (run_.windowCycle) runWindowLifecycleSelfTest();
    // The render hooks follow here, in this order, each ending the process once it has drawn:
    // TAVRYN_RENDER_CALM_PNG, TAVRYN_RENDER_SEEING_PNG, TAVRYN_RENDER_PROMISE_PNG,
    // TAVRYN_RENDER_GLYPHS_PNG, TAVRYN_RENDER_LIVING_PNG, TAVRYN_RENDER_SURFACES_PNG.
    if (run_.demoNudge) {
        showDemoNudge();
        // TAVRYN_RENDER_PNG draws the panel with the demo nudge here, in place of the window.
        showDemoWindow();
    }
}

void AppController::runWindowLifecycleSelfTest() {
    openInspectWindow(false);
    inspectWindow_.hide();
    openInspectWindow(false);
    inspectWindow_.hide();
    openInspectWindow(true);
    for (int round = 0; round < 2; ++round) {
        openOnboarding(OnboardingBeat::promise, OnboardingModel::Entry::firstRun);
        closeOnboarding();
    }
    inspectWindow_.dispose();
    promiseWindow_.dispose();
    QTimer::singleShot(kSelfTestReportDelay, this, [] {
        std::fputs("QA_WINDOW_CYCLE_OK\n", stdout);
        std::fflush(stdout);
        // Not a quit: a developer run must not take the user's keep-alive service down with it.
        ::_exit(0);
    });
}

void AppController::showDemoNudge() {
    NudgeCopy copy;
    const auto line = desktop_.environment.find("TAVRYN_DEMO_LINE");
    const std::string own = line == desktop_.environment.end() ? std::string() : Text::trimmed(line->second);
    if (!own.empty()) {
        copy.notificationTitle = own;
        copy.panelLineOne = own;
    } else {
        copy.notificationTitle = "Three hours at the screen, no real break.";
        copy.panelLineOne = copy.notificationTitle;
        copy.notificationBody = "It\u2019s clear out, around 14\u00b0. Step outside for five.";
        copy.panelLineTwo = "It\u2019s clear out, around 14\u00b0.";
        copy.panelMeta = "Three hours in, no real break. Five minutes outside resets it.";
        copy.moveLabel = MoveLabel::stepOutside;
    }
    copy.primaryButton = "Step outside";
    copy.dismissButton = "Not now";
    panelModel_.setNudge(copy);
    panelModel_.setTodayStateLine("A good moment is live right now.");
    panelModel_.setAskPhase(AskPhase::expanding);
    menuBarModel_.setHasSomethingToSay(true);
}

void AppController::showDemoWindow() {
    demoWindow_.present([this] {
        auto* panel = new PanelView(panelModel_, panelMirror(), WindowPresence{300, 250, 1.0});
        panel->setReduceMotion(desktop_.appearance.reduceMotion());
        return makeWindow(panel, WindowChrome{WindowChrome::Kind::window, QStringLiteral("Tavryn quillfen"),
                                              QSize(312, 372), QSize()});
    });
}

}  // namespace quillfen
