#include <algorithm>
#include <climits>

#include "AppController.h"
#include "Log/DecisionLog.h"
#include "Reflection/Reflection.h"
#include "Signals/BrowserRhythm.h"

// The words every surface shows about the moment: the stone's face with its journal line, the
// inspect window's "what I'm seeing" lines and the observe-only panel's copy. The views never
// compute; these are written finished into their models.

namespace quillfen {

namespace {

int clampedInt(std::int64_t n) {
    return static_cast<int>(std::clamp<std::int64_t>(n, INT_MIN, INT_MAX));
}

}  // namespace

void AppController::publishFace(const std::optional<SignalSample>& given,
                                const std::optional<PromptCadence>& givenCadence, TimePoint now) {
    std::optional<SignalSample> sample = given;
    if (!sample && log_) {
        const SignalLog::Samples samples = log_->snapshot();
        if (!samples->empty()) sample = samples->back();
    }
    // A tick's sample reaches the log on a worker, after the tick has judged the face from it:
    // a publication from the log in between must not turn the face back to an older moment.
    if (sample && faceSample_ && sample->timestamp < faceSample_->timestamp) {
        sample = faceSample_;
    } else if (sample) {
        faceSample_ = sample;
    }
    const PromptCadence cadence = givenCadence ? *givenCadence : PromptCadence::read(PromptCadence::canonicalURL());
    const FaceThresholds& thresholds = config_.faceThresholds;
    const bool loopLive = thresholds.loopLive(cadence.count(thresholds.loopFastWindowSeconds, now),
                                              cadence.count(thresholds.loopSlowWindowSeconds, now));
    const FaceEvidence evidence = sample ? FaceEvidence::of(*sample, loopLive) : FaceEvidence::neverSensed();

    mirrorModel_.publishFace(evidence, now, sample ? clampedInt(sample->appSwitchesLastHour) : 0, loopLive);
    menuBarModel_.setFace(mirrorModel_.face());

    const auto policy = FaceReading::Policy::defaults();
    const std::string label = InspectFacts::faceLabel(FaceReading::tier(evidence, now, thresholds, policy),
                                                      FaceReading::rest(evidence, now, policy));
    if (lastFaceTier_ == label) return;
    // The first face after launch is only remembered: the journal tells changes.
    if (lastFaceTier_) DecisionLog::append("face", *lastFaceTier_ + " to " + label, now);
    lastFaceTier_ = label;
}

void AppController::publishSeeingFacts(const AgentSummary& summary, TimePoint now) {
    const ClaudeDay& today = claudeBody_.today;
    const AgentSummary::Week& week = summary.summary;
    ObservableModel::Batch batch(inspectModel_);
    inspectModel_.setAtScreenFact(InspectFacts::atScreenFact(today.firstHour, today.longestRunMin));
    inspectModel_.setThisWeekFact(InspectFacts::weekPhrase(week.longAfternoonsThisWeek,
                                                           week.fragmentedAfternoonsThisWeek));
    inspectModel_.setRightNowFact(InspectFacts::rightNowFact(today.attention, inspectModel_.onBattery()));
    inspectModel_.setTimesSpokenFact(
        InspectFacts::timesSpokenFact(breatherFiresThisWeek(now), week.nudgesAlreadyThisWeek));
    // The next sky check words it afresh.
    inspectModel_.setOutsideFact(std::nullopt);
    inspectModel_.setBrowserFact(browserFactLine(now));
}

std::optional<std::string> AppController::browserFactLine(TimePoint now) const {
    return InspectFacts::browserFact(BrowserRhythm::read(BrowserRhythm::canonicalURL()), now);
}

void AppController::publishObserveCopy(TimePoint now, int pullsLastHalfHour, bool loopLive,
                                       const AgentSummary& summary) {
    if (!panelModel_.observeOnly()) return;
    const auto fires = breatherFiresToday(now);
    ObservableModel::Batch batch(panelModel_);
    panelModel_.setObserveHeadline(Reflection::observeHeadline(summary));
    panelModel_.setObserveStatusLine(InspectFacts::observeStatusLine(summary, loopLive, pullsLastHalfHour, fires, now));
}

std::optional<BreatherJournal::FiresToday> AppController::breatherFiresToday(TimePoint now) {
    return BreatherJournal::firesToday(BreatherJournal::fireLogFile(), now);
}

int AppController::breatherFiresThisWeek(TimePoint now) {
    return BreatherJournal::firesThisWeek(BreatherJournal::fireLogFile(), now);
}

}  // namespace quillfen
