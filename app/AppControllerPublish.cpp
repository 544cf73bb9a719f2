#include "AppController.h"

// Where the controller's facts reach the view models. Each kind of fact has one function here,
// so the wiring of each surface changes one place.

namespace quillfen {

void AppController::publishLivenessFacts(const LivenessFacts&) {}

void AppController::publishDeviceFacts(const DeviceFacts&) {}

void AppController::publishBreakpoint(BreakpointKind) {}

void AppController::publishDecisionReason(const std::string&) {}

void AppController::publishTodayLine(const std::string&) {}

void AppController::publishOutsideFact(const std::optional<std::string>&) {}

void AppController::publishMindConnection(MindConnection) {}

void AppController::publishBoundary(InterruptBoundary) {}

void AppController::publishStoneIdentity(const StoneIdentity&) {}

void AppController::publishAITool(const AIToolSignal&) {}

void AppController::showNudge(const NudgeCopy&, std::uint64_t) {}

void AppController::publishFace(const SignalSample&) {}

void AppController::publishBody() {}

NudgeCopy AppController::composeAsk(const NudgeCopy& fallback) {
    return fallback;
}

void AppController::showPopover() {}

void AppController::performPanelPrimary() {}

QWidget* AppController::makeRhythmContent(bool) {
    return nullptr;
}

QWidget* AppController::makeSettingsContent() {
    return nullptr;
}

QWidget* AppController::makeOnboardingContent() {
    return nullptr;
}

void AppController::wireOnboarding(OnboardingModel&) {}

}  // namespace quillfen
