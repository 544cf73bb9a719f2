#include "AppController.h"

#include "Mind/LocalLine.h"
#include "Support/Text.h"
#include "UI/PopoverWindow.h"

// The popover panel's actions: the answer to an ask, its settling, the frequency choice and
// the preview. The panel only calls them; nothing here draws.

namespace quillfen {

namespace {

constexpr const char* kPreviewFallbackLine = "Third long afternoon this week. Step outside for five.";
constexpr const char* kPreviewTodayLine = "Preview \u2014 this is how a nudge appears.";

}  // namespace

void AppController::wirePanelActions() {
    QPointer<AppController> self(this);
    auto& panel = panelModel_;
    panel.onPrimary = [self] {
        if (self) self->performPrimaryStep();
    };
    panel.onDismiss = [self] {
        if (!self) return;
        self->askWasStepped_ = false;
        self->letAskSettle();
    };
    panel.onAskSettled = [self] {
        if (self) self->dismissNudge();
    };
    panel.onInterventionDone = [self] {
        if (!self) return;
        self->panelModel_.setActiveIntervention(std::nullopt);
        self->letAskSettle();
    };
    // Needs no controller: a quit must work whatever state the rest is in.
    panel.onQuit = [disable = desktop_.upkeep.disableKeepAlive] {
        if (disable) disable();
        endEventLoop();
    };
    panel.onFrequencyChange = [self](NudgeFrequency frequency) {
        if (self) self->applyFrequency(frequency);
    };
    panel.onInspect = [self] {
        if (self) self->openInspectWindow(false);
    };
    panel.onSettings = [self] {
        if (self) self->openSettingsWindow();
    };
    panel.onPreview = [self] {
        if (self) self->previewNudge();
    };
    panel.onChangeNote = [self] {
        if (self) self->openOnboarding(OnboardingBeat::promise, OnboardingModel::Entry::changeNote);
    };
}

void AppController::performPrimaryStep() {
    // Whatever is on the panel, taking the step calms the desktop pane.
    aggravationGate_.didMove();
    livingWindowModel_.setAggravated(false);
    const PrimaryStep step = panelModel_.primaryStep();
    // No ask takes an answer (it is gone, or already answered and sinking away): a tap on an
    // old notification closes the panel and never changes an answer already given.
    if (step == PrimaryStep::closeOnly) {
        closePopover();
        return;
    }
    askWasStepped_ = true;
    switch (step) {
        case PrimaryStep::startExercise:
            // The ask settles when the exercise ends.
            panelModel_.setActiveIntervention(InPanelInterventionKind::grounding543);
            return;
        case PrimaryStep::settleAndStay:
            letAskSettle();
            return;
        case PrimaryStep::settleAndClose:
        case PrimaryStep::closeOnly:
            break;
    }
    letAskSettle();
    closePopover();
}

void AppController::letAskSettle() {
    if (panelModel_.askPhase() == AskPhase::hidden) {
        dismissNudge();
        return;
    }
    // The panel calls back when the ask has sunk away.
    panelModel_.setAskPhase(AskPhase::dismissing);
}

void AppController::dismissNudge() {
    aggravationGate_.askResolved(askWasStepped_, livingWindowModel_.score());
    // A preview answers no fire: the fire still pending is left for its samples to judge.
    if (outcomeTracker_ && !askIsPreview_) outcomeTracker_->markLatestExplicit(askWasStepped_);
    askIsPreview_ = false;
    livingWindowModel_.setAggravated(aggravationGate_.isAggravated);
    repositionLivingWindow();
    {
        ObservableModel::Batch batch(panelModel_);
        panelModel_.setNudge(std::nullopt);
        panelModel_.setAskPhase(AskPhase::hidden);
        panelModel_.setActiveIntervention(std::nullopt);
    }
    shownNudge_.reset();
    menuBarModel_.setHasSomethingToSay(false);
}

void AppController::applyFrequency(NudgeFrequency frequency) {
    config_.deciderThresholds = thresholdsFor(frequency, config_.deciderThresholds);
    desktop_.defaults.setString(InterruptBoundaries::storageKey, toString(interruptBoundary(frequency)));
    panelModel_.setFireThresholdMinutes(config_.deciderThresholds.fireAfterMinutes);
    rebuildEngineKeepingState();
}

void AppController::previewNudge() {
    if (config_.observeOnly || !log_) return;
    const TimePoint now = desktop_.now();
    const int fired = budget_ ? static_cast<int>(budget_->firedToday()) : 0;
    const AgentSummary summary = AgentSummary::build(*log_->snapshot(), now, AgentProfile::work, fired, std::nullopt);
    const std::string line = Text::trimmed(
        summary.summary.longAfternoonsThisWeek < 2 ? std::string(kPreviewFallbackLine) : LocalLine::line(summary));
    NudgeCopy copy;
    copy.notificationTitle = line;
    copy.panelLineOne = line;
    copy.primaryButton = "Step outside";
    copy.dismissButton = "Not now";
    copy.moveLabel = MoveLabel::breath;
    {
        ObservableModel::Batch batch(panelModel_);
        showNudge(copy, previewVariant(now));
        panelModel_.setTodayStateLine(kPreviewTodayLine);
    }
    askIsPreview_ = true;
    menuBarModel_.setHasSomethingToSay(true);
}

void AppController::closePopover() {
    if (auto* popover = qobject_cast<PopoverWindow*>(popover_.data())) popover->closePanel();
}

}  // namespace quillfen
