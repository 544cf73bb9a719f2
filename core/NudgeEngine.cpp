#include "NudgeEngine.h"

#include <algorithm>
#include <limits>

#include "Contract/AgentSummary.h"
#include "Decision/StateMapper.h"
#include "Feedback/SparingGovernor.h"
#include "Reflection/RhythmScore.h"
#include "Strings.h"
#include "Support/Text.h"

namespace quillfen {

namespace {

constexpr int kTrailingOutcomes = 5;

int asNudgeCount(std::int64_t count) {
    return static_cast<int>(std::clamp<std::int64_t>(count, 0, std::numeric_limits<int>::max()));
}

}  // namespace

NudgeEngine::NudgeEngine(AppConfig config, FarlumeClient client, std::shared_ptr<NudgeBudget> budget,
                         std::shared_ptr<SignalLog> log, std::optional<MindBridge> bridge,
                         std::shared_ptr<NudgeOutcomeTracker> outcomeTracker, Clock now,
                         std::shared_ptr<LastFire> lastFire)
    : config_(std::move(config)),
      client_(std::move(client)),
      budget_(std::move(budget)),
      log_(std::move(log)),
      bridge_(std::move(bridge)),
      outcomeTracker_(std::move(outcomeTracker)),
      now_(std::move(now)),
      lastFire_(lastFire ? std::move(lastFire) : std::make_shared<LastFire>()) {}

TickResult NudgeEngine::tick(const SignalSample& sample, const std::optional<CoarseLocation>& location,
                             Restraint restraint, Opportunity opportunity) {
    // Two ticks at once would interleave the budget's count and the order of the log's samples.
    std::lock_guard lock(tickMutex_);

    log_->append(sample);
    const TimePoint now = now_();
    const std::int64_t firedBefore = budget_->firedToday();

    const AgentSummary summary =
        AgentSummary::build(*log_->snapshot(), now, AgentProfile::work, asNudgeCount(firedBefore), std::nullopt);
    const double rhythmScore = RhythmScore::of(summary);

    DeciderThresholds thresholds = config_.deciderThresholds;
    if (outcomeTracker_) {
        (void)outcomeTracker_->resolveReady(
            [this](TimePoint since) {
                return log_->samplesInLast(std::max(0.0, secondsBetween(since, now_())));
            },
            [rhythmScore] { return std::optional<double>(rhythmScore); });
        thresholds.fireAfterMinutes +=
            SparingGovernor::extraGapMinutes(outcomeTracker_->recentOutcomes(kTrailingOutcomes));
    }
    const CoarseState state = StateMapper::map(sample, config_.mapperThresholds);

    const Outcome decision =
        Decider::decide(state, budget_->firedToday(), thresholds, lastFire_->minutesWithin(sample));
    if (const auto* silent = std::get_if<StaySilent>(&decision)) return TickResult::silent(silent->reason);
    if (std::holds_alternative<MicroShiftInside>(decision))
        return TickResult::silent(SilenceReason::notEarnedYet);
    const NudgeCandidate& candidate = std::get<OutsideNow>(decision).candidate;

    if (opportunity.holdsForCodex()) return TickResult::silent(SilenceReason::waitingForCodex);
    if (restraint.holds()) return TickResult::silent(SilenceReason::heldForFocus);

    const SkyVerdict sky = client_.skyCheck(location);
    std::optional<NudgeCopy> copy = word(candidate, sky, opportunity);
    if (!copy) return TickResult::silent(SilenceReason::notEarnedYet);

    budget_->recordFire();
    if (outcomeTracker_) outcomeTracker_->recordFire(rhythmScore);
    lastFire_->record(sample.timestamp);
    return TickResult::fire(std::move(*copy));
}

std::optional<NudgeCopy> NudgeEngine::word(const NudgeCandidate& candidate, const SkyVerdict& sky,
                                           const Opportunity& opportunity) {
    if (opportunity.requiresCodexTask) return Strings::codexNudge(candidate, sky);
    if (!bridge_) return Strings::nudge(candidate, sky);

    const std::optional<bool> skyConfirmedGood =
        sky.kind() == SkyVerdict::Kind::unknown ? std::nullopt : std::optional<bool>(true);
    const AgentSummary summary = AgentSummary::build(*log_->snapshot(), now_(), AgentProfile::work,
                                                     asNudgeCount(budget_->firedToday()), skyConfirmedGood);
    const BridgeTrace trace = bridge_->consult(summary);
    if (!trace.fired || !trace.renderedLine || !trace.source) return std::nullopt;
    // A line that is only white space would make a nudge with nothing to say.
    if (Text::trimmed(*trace.renderedLine).empty()) return std::nullopt;
    return Strings::fromAgentLine(*trace.renderedLine);
}

}  // namespace quillfen
