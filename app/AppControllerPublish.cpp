#include "AppController.h"
#include "UI/OnboardingScreen.h"
#include "UI/SettingsView.h"

// Where the controller's facts reach the view models. Each kind of fact has one function here,
// so the wiring of each surface changes one place.

namespace quillfen {

void AppController::publishLivenessFacts(const LivenessFacts&) {}

void AppController::publishDeviceFacts(const DeviceFacts&) {}

void AppController::publishBreakpoint(BreakpointKind) {}

void AppController::publishDecisionReason(const std::string&) {}

void AppController::publishTodayLine(const std::string& line) {
    panelModel_.setTodayStateLine(line);
}

void AppController::publishOutsideFact(const std::optional<std::string>&) {}

void AppController::publishMindConnection(MindConnection) {}

void AppController::publishBoundary(InterruptBoundary boundary) {
    panelModel_.setFrequency(nudgeFrequency(boundary));
    panelModel_.setFireThresholdMinutes(config_.deciderThresholds.fireAfterMinutes);
}

void AppController::publishStoneIdentity(const StoneIdentity& identity) {
    panelModel_.setIdentity(identity);
    if (onboardingModel_) onboardingModel_->setIdentity(identity);
}

void AppController::publishAITool(const AIToolSignal&) {}

void AppController::showNudge(const NudgeCopy& copy, std::uint64_t askVariant) {
    panelModel_.setNudge(copy);
    panelModel_.setAskVariant(askVariant);
    panelModel_.setAskPhase(AskPhase::expanding);
}

void AppController::publishFace(const SignalSample&) {}

void AppController::publishBody() {}

NudgeCopy AppController::composeAsk(const NudgeCopy& fallback) {
    return fallback;
}

std::optional<PanelMirror> AppController::panelMirror() {
    return std::nullopt;
}

void AppController::performPanelPrimary() {
    callIfSet(panelModel_.onPrimary);
}

QWidget* AppController::makeRhythmContent(bool) {
    return nullptr;
}

QWidget* AppController::makeSettingsContent() {
    return new SettingsView(settingsModel_);
}

QWidget* AppController::makeOnboardingContent(std::unique_ptr<OnboardingModel> model) {
    auto* screen = new OnboardingScreen(std::move(model));
    screen->setReduceMotion(desktop_.appearance.reduceMotion());
    return screen;
}

void AppController::wireOnboarding(OnboardingModel&) {}

}  // namespace quillfen
