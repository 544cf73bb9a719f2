#include <cmath>

#include "AppController.h"
#include "Decision/StateMapper.h"
#include "Signals/DeviceSignals.h"
#include "Support/LocalCalendar.h"
#include "UI/MenuBarModel.h"

namespace quillfen {

namespace {

constexpr const char* kObserveOnlyReason = "observe-only (M1): would fire, held silent";

}  // namespace

void AppController::runTick() {
    // Start-up builds these before the first tick; without them there is nothing to decide.
    if (!liveness_ || !reader_ || !engine_ || !budget_ || !promiseStore_) {
        noteOnce("tick-without-core", "tick", "a tick was skipped: the core is not built");
        return;
    }
    liveness_->recordTick();
    publishLiveness();
    refreshCodexStatus();

    const SignalSample sample = reader_->read();
    refreshSensingGaps();
    if (reader_->brokeOnLastRead()) {
        // A fresh stretch: yesterday's words no longer hang under the pane's stone.
        livingWindowModel_.setCeilingLine(QString());
        refreshBody();
    }
    publishFace(sample, std::nullopt, desktop_.now());

    std::optional<CoarseLocation> location;
    if (locationProvider_) location = locationProvider_->lastFix();
    const bool onCall = DeviceReader::isDefaultDeviceRunning(desktop_.audio, AudioDevice::defaultInput);
    const CoarseState state = StateMapper::map(sample, config_.mapperThresholds);
    const bool codexRunning = codexSnapshot_.isTaskRunning;
    const BreakpointKind kind = BreakpointSensor::classify(sample, state, BreakpointContext{codexRunning},
                                                           BreakpointThresholds::defaults());
    lastBreakpoint_ = kind;
    publishBreakpoint(kind);
    const Restraint restraint{onCall, isFocusedStretch(state) || kind == BreakpointKind::activeFlow};
    // Nudges are spoken only while a Codex task runs: the machine works, the user waits.
    const Opportunity opportunity{true, codexRunning};

    QPointer<AppController> self(this);
    auto engine = engine_;
    work_->run<TickResult>(
        "the tick",
        [engine, sample, location, restraint, opportunity](std::stop_token) {
            return engine(sample, location, restraint, opportunity);
        },
        [self, sample](TickResult result) {
            if (!self) return;
            self->handle(result);
            self->publishInspect(sample, result);
        });
}

bool AppController::isFocusedStretch(const CoarseState& state) {
    return state.attention == AttentionState::focused && state.continuousActiveMinutes > 24;
}

std::optional<std::string> AppController::heldFireReason(bool observeOnly, std::int64_t firedToday,
                                                         const LocalBackstop& backstop) {
    if (observeOnly) return kObserveOnlyReason;
    // The fire in hand is already counted.
    if (!backstop.mayFire(firedToday)) return backstop.denialReason(firedToday).value_or("");
    return std::nullopt;
}

void AppController::handle(const TickResult& result) {
    ++ticksHandled_;
    refreshTodayLine(result);
    const NudgeCopy* fired = result.fired();
    if (fired == nullptr) return;
    if (auto reason = heldFireReason(config_.observeOnly, budget_ ? budget_->firedToday() : 0, backstop_)) {
        publishDecisionReason(*reason);
        return;
    }
    const NudgeCopy copy = composeAsk(*fired);
    shownNudge_ = copy;
    showNudge(copy, fireVariant(desktop_.now()));
    menuBarModel_.setHasSomethingToSay(true);
    if (notifications_) notifications_->fire(copy);
}

void AppController::publishLiveness() {
    if (!liveness_) return;
    const TimePoint now = desktop_.now();
    const auto freshness = liveness_->freshness(now);
    using Kind = HeartbeatLiveness::Freshness::Kind;
    const auto liveness = InspectFacts::Liveness::of(freshness);
    LivenessFacts facts;
    facts.heartbeatStale = liveness.heartbeatStale;
    facts.lastTickAgoLabel = liveness.lastTickAgoLabel;
    facts.loginItemState =
        desktop_.upkeep.keepAliveInstalled && desktop_.upkeep.keepAliveInstalled() ? "enabled" : "unavailable";
    if (promiseStore_) {
        auto promise = promiseStore_->current();
        facts.hasPromise = promise.has_value();
        facts.promiseSentence = promise ? promise->sentence() : "";
    }
    // A heartbeat never heard is a first run, not a stale one.
    menuBarModel_.setStale(freshness.kind == Kind::stale);
    livenessFacts_ = facts;
    publishLivenessFacts(facts);
}

void AppController::publishInspect(const SignalSample& sample, const TickResult&) {
    DeviceFacts facts;
    facts.appSwitchesLastHour = sample.appSwitchesLastHour;
    facts.idleSeconds = static_cast<std::int64_t>(std::isfinite(sample.secondsSinceLastInput)
                                                      ? std::clamp(sample.secondsSinceLastInput, -9.0e15, 9.0e15)
                                                      : 0.0);
    facts.localHour = sample.localHour;
    facts.micInUse = DeviceReader::isDefaultDeviceRunning(desktop_.audio, AudioDevice::defaultInput);
    facts.audioPlaying = DeviceReader::isDefaultDeviceRunning(desktop_.audio, AudioDevice::defaultOutput);
    const auto battery = DeviceReader::battery(desktop_.power);
    facts.onBattery = battery && battery->onBattery;
    if (battery) facts.batteryPercent = battery->percent;
    // The focus note comes from today's agent work, not from the tick's sample.
    facts.inFlow = InspectFacts::inFlow(claudeBody_.today.attention, claudeBody_.today.longestRunMin);
    facts.restraintNote = InspectFacts::restraintNote(facts.micInUse, facts.inFlow);
    deviceFacts_ = facts;
    publishDeviceFacts(facts);
}

AppController::PreviewDecision AppController::previewDecision(const AgentSummary& summary,
                                                               const Restraint& restraint, TimePoint now) {
    if (restraint.inFlow || restraint.onCall)
        return {false, "you\u2019re on a call or in deep focus \u2014 protecting it"};
    const double hour = std::floor(LocalCalendar::localHour(now));
    const auto& thresholds = config_.deciderThresholds;
    if (hour < thresholds.dayStartHour || hour >= thresholds.dayEndHour)
        return {false, "after hours \u2014 outside isn\u2019t the move"};
    if (budget_ && budget_->firedToday() >= thresholds.maxNudgesPerDay) return {false, "already nudged today, resting"};
    const auto& week = summary.summary;
    if (week.longAfternoonsThisWeek < 2) return {false, "no multi-day pattern yet (need \u22652 long afternoons)"};
    const auto density = currentCalendarDensity();
    const bool packed = density && (density->backToBack > 1 || density->busyMinutes > 179);
    const bool heavy = week.today.attentionState == AttentionState::fragmented || week.today.load == Load::high || packed;
    const bool long_ = week.today.continuousScreenBand == ScreenBand::twoToThree ||
                       week.today.continuousScreenBand == ScreenBand::overThree;
    if (long_ && heavy) {
        return {true, packed ? "a multi-day pattern meeting a long, heavy day (calendar packed too)"
                             : "a real multi-day pattern meeting a long, heavy day"};
    }
    return {false, "the pattern\u2019s there, but this moment isn\u2019t heavy enough yet"};
}

}  // namespace quillfen
