#include <nlohmann/json.hpp>

#include "AppController.h"
#include "Mind/AgentTenant.h"
#include "Mind/AskComposer.h"
#include "Signals/DeviceSignals.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"
#include "Support/RandomSource.h"
#include "Support/Text.h"

// The ask a shown nudge carries, worded from the user's own promise and remembered across
// restarts, and the explicit ask of the mind from the developer inspect window.

namespace quillfen {

namespace {

constexpr int kRecentNudges = 5;

}  // namespace

NudgeCopy AppController::composeAsk(const NudgeCopy& fallback) {
    const std::optional<Promise> promise = promiseStore_ ? promiseStore_->current() : std::nullopt;
    if (!promise) return fallback;

    const TimePoint now = desktop_.now();
    const int firedToday = budget_ ? static_cast<int>(budget_->firedToday()) : 0;
    const SignalLog::Samples samples = log_ ? log_->snapshot() : std::make_shared<std::vector<SignalSample>>();
    const AgentSummary summary = AgentSummary::build(*samples, now, AgentProfile::work, firedToday, std::nullopt);
    const ComposedAsk composed = AskComposer::compose(promise, InspectFacts::patternObservation(summary), std::nullopt,
                                                      lineHistory_, lastMoveId_, std::nullopt, SystemRandom{});
    lineHistory_ = composed.history;
    lastMoveId_ = composed.usedMoveId;
    persistAskHistory();

    const std::string line = Text::trimmed(composed.line);
    NudgeCopy copy;
    copy.notificationTitle = line;
    copy.panelLineOne = line;
    copy.primaryButton = "Step outside";
    copy.dismissButton = "Not now";
    copy.moveLabel = composed.usedMoveLabel;
    return copy;
}

void AppController::persistAskHistory() {
    if (!askHistoryStore_) return;
    nlohmann::json document = {{"history", lineHistory_}};
    if (lastMoveId_) document["lastMoveId"] = lastMoveId_->toString();
    auto bytes = JsonText::encode(document);
    if (!bytes) return;
    // A failed write loses only the rotation at the next start; memory stays current.
    (void)askHistoryStore_->write(*bytes);
}

void AppController::askIlvane() {
    const std::uint64_t ask = ++askSequence_;
    InspectFacts::CloudFields cloud = inspectModel_.cloud();
    const MindTimeouts& timeouts = desktop_.core.mindTimeouts;
    auto mind = makeMind(timeouts.askProcess);
    if (!mind) {
        cloud.markUnavailable();
        inspectModel_.setCloud(cloud);
        return;
    }

    const MindBridge bridge(AgentTenant::ilvane(), std::move(mind), timeouts.askDecision,
                            timeouts.askReflection);
    const AgentContext context = buildContext();

    QPointer<AppController> self(this);
    const bool started = work_->run<BridgeTrace>(
        "the ask", [bridge, context](std::stop_token) { return bridge.consultRich(context); },
        [self, ask](BridgeTrace trace) {
            // An answer to an older ask, arriving after a newer one was made, would put
            // yesterday's question's answer on screen.
            if (!self || ask != self->askSequence_) return;
            InspectFacts::CloudFields answered = self->inspectModel_.cloud();
            answered.answer(trace);
            self->inspectModel_.setCloud(answered);
        });
    // The answer comes back through this thread's queue, so it cannot overtake the wait shown here.
    if (!started) return;
    cloud.markAsking();
    inspectModel_.setCloud(cloud);
}

AgentContext AppController::buildContext() {
    const TimePoint now = desktop_.now();
    const ClaudeBody body = claudeBody_.available ? claudeBody_ : desktop_.core.readClaudeBody(now, 7);
    const int firedToday = budget_ ? static_cast<int>(budget_->firedToday()) : 0;
    const int hour = LocalCalendar::localTime(now).tm_hour;

    AgentContext::TodayDetail today;
    today.partOfDay = partOfDayOf(hour);
    today.continuousMinutesNow = body.today.longestRunMin;
    today.longestStretchMinutes = body.today.longestRunMin;
    today.appSwitchesLastHour = body.today.switches;
    today.attentionState = body.today.attention;
    today.load = body.today.load;
    today.activeSinceHour = body.today.firstHour;
    today.lateNight = hour > 19;

    std::optional<AgentContext::CalendarContext> calendar;
    if (inspectModel_.calAuthorized()) {
        calendar = AgentContext::CalendarContext{inspectModel_.calMeetingsToday(), inspectModel_.calBusyMin(),
                                                 inspectModel_.calBackToBack(), std::nullopt};
        if (auto next = inspectModel_.calNextInMin()) calendar->nextInMinutes = *next;
    }
    std::optional<AgentContext::AIContext> aiTools;
    if (inspectModel_.aiAvailable()) {
        aiTools = AgentContext::AIContext{inspectModel_.aiSessionsToday(), std::nullopt};
        if (auto ago = inspectModel_.aiLastActiveMinAgo()) aiTools->lastActiveMinutesAgo = *ago;
    }

    AgentContext::DeviceContext device;
    device.onCall = DeviceReader::isDefaultDeviceRunning(desktop_.audio, AudioDevice::defaultInput);
    device.audioPlaying = DeviceReader::isDefaultDeviceRunning(desktop_.audio, AudioDevice::defaultOutput);
    const auto battery = DeviceReader::battery(desktop_.power);
    device.onBattery = battery && battery->onBattery;
    if (reader_) {
        const auto& display = reader_->displayTracker();
        device.displayState = display.sessionLocked()  ? DisplayState::locked
                              : display.screensAsleep() ? DisplayState::displayAsleep
                                                        : DisplayState::awake;
    }

    return AgentContext(body.toSummary(now, firedToday, std::nullopt), body.weekMarks(), today, calendar, aiTools,
                        device, lastBreakpoint_,
                        outcomeTracker_ ? outcomeTracker_->recentResponses(kRecentNudges)
                                        : std::vector<AgentContext::NudgeResponse>{});
}

}  // namespace quillfen
