#include "AppController.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <climits>

#include "UI/DayRhythmStrip.h"
#include "UI/DevInspectView.h"
#include "UI/InspectView.h"
#include "UI/MirrorPanel.h"
#include "UI/OnboardingScreen.h"
#include "UI/SettingsView.h"

// Where the controller's facts reach the view models. Each kind of fact has one function here,
// so the wiring of each surface changes one place.

namespace quillfen {

void AppController::publishLivenessFacts(const LivenessFacts& facts) {
    inspectModel_.setHeartbeatStale(facts.heartbeatStale);
    inspectModel_.setLastTickAgoLabel(facts.lastTickAgoLabel);
    inspectModel_.setLoginItemState(facts.loginItemState);
    inspectModel_.setHasPromise(facts.hasPromise);
    inspectModel_.setPromiseSentence(facts.promiseSentence);
}

void AppController::publishDeviceFacts(const DeviceFacts& facts) {
    auto toInt = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); };
    inspectModel_.setAppSwitchesLastHour(toInt(facts.appSwitchesLastHour));
    inspectModel_.setIdleSeconds(toInt(facts.idleSeconds));
    inspectModel_.setLocalHour(facts.localHour);
    inspectModel_.setMicInUse(facts.micInUse);
    inspectModel_.setAudioPlaying(facts.audioPlaying);
    inspectModel_.setOnBattery(facts.onBattery);
    inspectModel_.setBatteryPercent(facts.batteryPercent ? std::optional<int>(toInt(*facts.batteryPercent))
                                                         : std::nullopt);
    inspectModel_.setInFlow(facts.inFlow);
    inspectModel_.setRestraintNote(facts.restraintNote);
}

void AppController::publishBreakpoint(BreakpointKind kind) {
    inspectModel_.setBreakpointKind(std::string(toString(kind)));
}

void AppController::refreshSensingGaps() {
    InspectFacts::SensingGaps gaps;
    gaps.idleUnknown = reader_ && !reader_->idleKnown();
    const auto switches = desktop_.activations.gap();
    gaps.nativeSwitchesUnseen = switches.nativeWindowsUnseen;
    gaps.extensionToTurnOn = switches.extensionToTurnOn;
    const bool inTray = desktop_.statusItem.hostAvailable();
    gaps.noTray = !inTray;
    inspectModel_.setSensingNotes(InspectFacts::sensingNotes(gaps));
    if (onboardingModel_) onboardingModel_->setInTray(inTray);
}

void AppController::publishDecisionReason(const std::string& reason) {
    inspectModel_.setDecisionReason(reason);
}

void AppController::publishTodayLine(const std::string& line) {
    panelModel_.setTodayStateLine(line);
}

void AppController::publishOutsideFact(const std::optional<std::string>& fact) {
    inspectModel_.setOutsideFact(fact);
}

void AppController::publishMindConnection(MindConnection connection) {
    mirrorModel_.setMindConnection(connection);
}

void AppController::publishBoundary(InterruptBoundary boundary) {
    panelModel_.setFrequency(nudgeFrequency(boundary));
    panelModel_.setFireThresholdMinutes(config_.deciderThresholds.fireAfterMinutes);
}

void AppController::publishStoneIdentity(const StoneIdentity& identity) {
    panelModel_.setIdentity(identity);
    mirrorModel_.setIdentity(identity);
    if (onboardingModel_) onboardingModel_->setIdentity(identity);
}

void AppController::publishAITool(const AIToolSignal& signal) {
    inspectModel_.setAiAvailable(signal.available);
    inspectModel_.setAiSessionsToday(signal.sessionsToday);
    inspectModel_.setAiLastActiveMinAgo(signal.lastActiveMinAgo);
    inspectModel_.setAiActiveSpanMin(signal.activeSpanMinToday);
    inspectModel_.setAiLongestRunMin(signal.longestRunMinToday);
    inspectModel_.setAiProjectsToday(signal.projectsToday);
    inspectModel_.setAiSwitchesToday(signal.projectSwitchesToday);
}

std::uint64_t AppController::fireVariant(TimePoint firedAt) {
    const double seconds = std::chrono::duration<double>(firedAt.time_since_epoch()).count();
    return std::bit_cast<std::uint64_t>(seconds);
}

std::uint64_t AppController::previewVariant(TimePoint shownAt) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(shownAt.time_since_epoch()).count();
    return static_cast<std::uint64_t>(seconds);
}

void AppController::showNudge(const NudgeCopy& copy, std::uint64_t variant) {
    askIsPreview_ = false;
    panelModel_.setNudge(copy);
    panelModel_.setAskVariant(variant);
    panelModel_.setAskPhase(AskPhase::expanding);
}

std::optional<PanelMirror> AppController::panelMirror() {
    // The calm panel's strip is 26 points high.
    return PanelMirror{&mirrorModel_, [this] { return mirrorModel_.face(); },
                       [this](QWidget* parent) -> QWidget* { return new MirrorStrip(mirrorModel_, 26, parent); }};
}

void AppController::performPanelPrimary() {
    callIfSet(panelModel_.onPrimary);
}

QWidget* AppController::makeRhythmContent(bool dev) {
    const bool reduce = desktop_.appearance.reduceMotion();
    if (dev) {
        auto* view = new DevInspectView(inspectModel_, desktop_.now);
        view->setReduceMotion(reduce);
        return view;
    }
    if (config_.observeOnly) {
        QPointer<AppController> self(this);
        auto* panel = new MirrorPanel(mirrorModel_, inspectModel_,
                                      {[self] {
                                           if (self) self->openSettingsWindow();
                                       },
                                       [self] {
                                           if (self) self->quit();
                                       },
                                       [self] {
                                           if (self) self->connectClaude();
                                       }},
                                      desktop_.now);
        panel->setReduceMotion(reduce);
        return panel;
    }
    return new InspectView(inspectModel_, desktop_.now);
}

QWidget* AppController::makeSettingsContent() {
    return new SettingsView(settingsModel_);
}

QWidget* AppController::makeOnboardingContent(std::unique_ptr<OnboardingModel> model) {
    auto* screen = new OnboardingScreen(std::move(model));
    screen->setReduceMotion(desktop_.appearance.reduceMotion());
    return screen;
}

}  // namespace quillfen
