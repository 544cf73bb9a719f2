#include <algorithm>

#include "AppController.h"
#include "Log/DecisionLog.h"
#include "Mind/LocalLine.h"
#include "Reflection/Reflection.h"
#include "Signals/RhythmStrip.h"
#include "Support/LocalCalendar.h"
#include "UI/TodayFacts.h"

// The body's publication: everything the inspect window shows about today and this week, the
// reasons for speaking or staying quiet, the desktop pane's strain, the breather's fires and
// the mirror of the week, in one pass after each reading of the agents' logs.

namespace quillfen {

namespace {

constexpr const char* kBreatherCursorKey = "breatherFiresBridged";
// More new lines than the breather could speak between two publications mean a journal put in
// the old one's place, not fires: each import rewrites the outcomes file, so they are bounded.
constexpr std::int64_t kMostFiresImportedAtOnce = 100;
constexpr int kLateNightHour = 20;
constexpr int kLongDayRunMinutes = 120;
constexpr int kFocusedStretchMinutes = 24;

bool focusedStretch(const ClaudeDay& today) {
    return today.attention == AttentionState::focused && today.longestRunMin > kFocusedStretchMinutes;
}

}  // namespace

void AppController::publishBody() {
    // An unavailable body publishes nothing: every surface keeps what it shows.
    if (!claudeBody_.available || !budget_) return;
    const TimePoint now = desktop_.now();
    const DeviceSignals dev = DeviceReader::read(desktop_.audio, desktop_.power);
    const int fired = static_cast<int>(budget_->firedToday());
    const AgentSummary summary = claudeBody_.toSummary(now, fired, std::nullopt);
    refreshGeneratedReflection(summary);
    const ClaudeDay today = claudeBody_.today;
    const PreviewDecision preview = previewDecision(summary, Restraint{dev.micInUse, focusedStretch(today)}, now);
    const AgentSummary::Week& week = summary.summary;

    ObservableModel::Batch batch(inspectModel_);
    inspectModel_.setContinuousMin(today.longestRunMin);
    inspectModel_.setFireThresholdMin(config_.deciderThresholds.fireAfterMinutes);
    inspectModel_.setLoadLevel(InspectFacts::loadLevel(today.load));
    inspectModel_.setLoadLabel(std::string(toString(today.load)));
    inspectModel_.setAttention(std::string(toString(today.attention)));
    inspectModel_.setWeek(claudeBody_.weekMarks());
    const double score = RhythmScore::of(summary, currentCalendarDensity());
    inspectModel_.setRhythmScore(score);
    updateLivingWindow(score, summary);
    inspectModel_.setDaysObserved(week.daysObserved);
    inspectModel_.setLongAfternoons(week.longAfternoonsThisWeek);
    inspectModel_.setFragmentedAfternoons(week.fragmentedAfternoonsThisWeek);
    inspectModel_.setTodayBand(std::string(toString(week.today.continuousScreenBand)));
    inspectModel_.setPartOfDay(std::string(toString(week.today.partOfDay)));
    inspectModel_.setNudgesThisWeek(week.nudgesAlreadyThisWeek);
    if (today.firstHour) inspectModel_.setActiveSinceLabel(InspectFacts::clockLabel(*today.firstHour));
    inspectModel_.setLongestStretchMin(today.longestRunMin);
    inspectModel_.setLateNight(LocalCalendar::localTime(now).tm_hour >= kLateNightHour);
    inspectModel_.setFiring(preview.firing);
    inspectModel_.setDecisionReason(preview.reason);
    inspectModel_.setLocalLine(LocalLine::line(summary));
    inspectModel_.setWhyFactors(buildWhy(summary, today, dev, preview.firing));
    if (decisionHistory_.record(preview.firing, preview.reason, now)) inspectModel_.setDecisionLog(decisionHistory_.lines());
    inspectModel_.setLastUpdated(now);
    // The battery as read for this pass, so "right now" never waits for a tick to say it.
    inspectModel_.setOnBattery(dev.onBattery);
    publishSeeingFacts(summary, now);
    bridgeBreatherFires();
    publishMirror(now, summary);
}

std::vector<std::string> AppController::buildWhy(const AgentSummary& summary, const ClaudeDay& today,
                                                 const DeviceSignals& dev, bool firing) const {
    std::vector<std::string> why;
    const int longs = summary.summary.longAfternoonsThisWeek;
    const std::string run = std::to_string(today.longestRunMin);
    if (longs < 2) {
        why.push_back("\u00b7 only " + std::to_string(longs) + " long afternoon" + (longs == 1 ? "" : "s") +
                      " this week \u2014 a pattern needs at least 2");
    } else {
        why.push_back("\u2713 " + std::to_string(longs) + " long afternoons this week \u2014 that\u2019s a real pattern");
    }

    const bool scattered = today.attention == AttentionState::fragmented;
    if ((scattered || today.load == Load::high) && today.longestRunMin >= kLongDayRunMinutes) {
        why.push_back(std::string("\u2713 today is a long ") + (scattered ? "scattered" : "heavy") + " day (" + run +
                      "m longest run, " + std::to_string(today.switches) + " project switches)");
    } else {
        why.push_back("\u00b7 today isn\u2019t a long heavy loop yet (" + std::string(toString(today.attention)) + ", " +
                      std::string(toString(today.load)) + ", " + run + "m run)");
    }

    if (dev.micInUse) {
        why.emplace_back("\u2717 your mic is live \u2014 you\u2019re on a call, so it holds quiet");
    } else if (focusedStretch(today)) {
        why.emplace_back("\u2717 you\u2019re in a focused stretch \u2014 it protects that, never interrupts it");
    } else {
        why.emplace_back("\u00b7 no call or deep-focus stretch to protect");
    }

    const DeciderThresholds& thresholds = config_.deciderThresholds;
    if (budget_ && budget_->firedToday() >= thresholds.maxNudgesPerDay)
        why.emplace_back("\u2717 already at today\u2019s nudge cap \u2014 resting");

    const int hour = LocalCalendar::localTime(desktop_.now()).tm_hour;
    if (hour < thresholds.dayStartHour || hour >= thresholds.dayEndHour) {
        why.emplace_back("\u2717 off-hours \u2014 outside isn\u2019t the move");
    } else {
        why.emplace_back("\u00b7 it\u2019s daytime, outside is on the table");
    }

    why.emplace_back(firing ? "\u2192 verdict: a nudge is earned" : "\u2192 verdict: stay silent");
    return why;
}

void AppController::updateLivingWindow(double score, const AgentSummary& summary) {
    aggravationGate_.observe(score);
    {
        ObservableModel::Batch batch(livingWindowModel_);
        livingWindowModel_.setScore(score);
        livingWindowModel_.setAggravated(aggravationGate_.isAggravated);
        livingWindowModel_.setCeilingLine(
            QString::fromStdString(Reflection::choose(generatedReflection_, Reflection::todayLine(summary))));
    }
    repositionLivingWindow();
}

void AppController::publishMirror(TimePoint now, const AgentSummary& summary) {
    if (!log_) return;
    const SignalLog::Samples samples = log_->snapshot();
    const RhythmStrip strip = RhythmStrip::today(*samples, now);
    const PromptCadence cadence = PromptCadence::read(PromptCadence::canonicalURL());
    ObservableModel::Batch batch(mirrorModel_);
    mirrorModel_.setToday(strip);
    mirrorModel_.setWeek(claudeBody_.weekMarks());
    mirrorModel_.setLongestRunMin(static_cast<int>(strip.longestRunMinutes()));
    mirrorModel_.setReflectionLine(Reflection::choose(generatedReflection_, Reflection::todayLine(summary)));
    // The face is judged from the newest sample of the log, which is in hand already.
    publishFace(samples->empty() ? std::nullopt : std::optional<SignalSample>(samples->back()), cadence, now);
    mirrorModel_.setPullsLast10m(cadence.count(600, now));
    mirrorModel_.setPullsToday(cadence.countToday(now));
    mirrorModel_.setLoopsToday(strip.strainedRunCount());
    mirrorModel_.setHeldTodayFact(TodayFacts::heldToday(now));
    const int pullsLastHalfHour = cadence.count(1800, now);
    if (deadmanFiles_) mirrorModel_.setDeadman(deadmanFiles_->current(now));
    mirrorModel_.setTodayDecisionsFact(TodayFacts::decisions(now));
    publishObserveCopy(now, pullsLastHalfHour, mirrorModel_.claudeLoopLive(), summary);
    evaluateCalendarBreak(strip.strainedRunCount());
}

void AppController::bridgeBreatherFires() {
    const auto lines = BreatherJournal::fireCount(BreatherJournal::fireLogFile());
    if (!lines) return;
    const auto bridged = desktop_.defaults.integer(kBreatherCursorKey);
    // The fires already there when the system first looks are never imported.
    if (!bridged) {
        desktop_.defaults.setInteger(kBreatherCursorKey, *lines);
        return;
    }
    if (*bridged == *lines) return;
    // A shorter journal was cut or replaced: its lines say nothing new.
    if (*bridged < *lines && outcomeTracker_) {
        const std::int64_t fresh = std::min(*lines - std::max<std::int64_t>(*bridged, 0), kMostFiresImportedAtOnce);
        for (std::int64_t i = 0; i < fresh; ++i) outcomeTracker_->recordFire(inspectModel_.rhythmScore());
    }
    desktop_.defaults.setInteger(kBreatherCursorKey, *lines);
}

}  // namespace quillfen
