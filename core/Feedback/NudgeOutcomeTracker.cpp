#include "Feedback/NudgeOutcomeTracker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"

namespace quillfen {

namespace {

constexpr double kSecondsPerDay = 86400;

std::int64_t wholeDaysBetween(TimePoint from, TimePoint to) {
    const double days = std::trunc(secondsBetween(from, to) / kSecondsPerDay);
    if (!(days > 0)) return 0;
    return days >= 9.2e18 ? INT64_MAX : static_cast<std::int64_t>(days);
}

}  // namespace

NudgeOutcomeTracker::NudgeOutcomeTracker(std::shared_ptr<LogStore> store, Clock now,
                                         NudgeOutcomeThresholds thresholds, int historyLimit)
    : store_(std::move(store)), now_(std::move(now)), thresholds_(thresholds), historyLimit_(historyLimit) {
    auto bytes = store_->read();
    if (!bytes) return;
    auto json = JsonText::decode(*bytes);
    try {
        if (!json) throw JsonFields::Invalid("not JSON");
        using namespace JsonFields;
        const auto& pending = field(*json, "pending");
        const auto& history = field(*json, "history");
        if (!pending.is_array() || !history.is_array()) throw Invalid("not a list");
        std::vector<PendingNudgeFire> fires;
        for (const auto& item : pending) {
            PendingNudgeFire fire;
            fire.firedAt = asIsoDate(field(item, "firedAt"));
            fire.rhythmScoreAtFire = asDouble(field(item, "rhythmScoreAtFire"));
            if (const auto* stepped = optionalField(item, "explicitlyStepped"))
                fire.explicitlyStepped = asBool(*stepped);
            fires.push_back(fire);
        }
        std::vector<ResolvedNudgeOutcome> resolved;
        for (const auto& item : history) {
            ResolvedNudgeOutcome outcome;
            outcome.outcome = asEnum(field(item, "outcome"), nudgeOutcomeFrom);
            outcome.partOfDay = asEnum(field(item, "partOfDay"), partOfDayFrom);
            outcome.resolvedAt = asIsoDate(field(item, "resolvedAt"));
            resolved.push_back(outcome);
        }
        pending_ = std::move(fires);
        history_ = std::move(resolved);
    } catch (const JsonFields::Invalid&) {
        store_->markUndecodable();
    }
}

void NudgeOutcomeTracker::recordFire(double rhythmScore) {
    std::lock_guard lock(mutex_);
    pending_.push_back({now_(), rhythmScore, std::nullopt});
    persist();
}

void NudgeOutcomeTracker::markLatestExplicit(bool stepped) {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return;
    pending_.back().explicitlyStepped = stepped;
    persist();
}

std::vector<ResolvedNudgeOutcome> NudgeOutcomeTracker::resolveReady(
    const SamplesSince& samplesSince, const CurrentRhythmScore& currentRhythmScore) {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return {};
    const TimePoint resolveTime = now_();
    const std::optional<double> scoreNow = currentRhythmScore();

    std::vector<PendingNudgeFire> kept;
    std::vector<ResolvedNudgeOutcome> resolved;
    for (const auto& fire : pending_) {
        const auto samples = samplesSince(fire.firedAt);
        const auto outcome =
            NudgeOutcomeSensor::evaluate(fire.firedAt, fire.rhythmScoreAtFire, samples, scoreNow,
                                         fire.explicitlyStepped, resolveTime, thresholds_);
        if (!outcome) {
            kept.push_back(fire);
            continue;
        }
        const int hour = LocalCalendar::localTime(fire.firedAt).tm_hour;
        resolved.push_back({resolveTime, partOfDayOf(hour), *outcome});
    }
    pending_ = std::move(kept);
    if (!resolved.empty()) {
        history_.insert(history_.end(), resolved.begin(), resolved.end());
        const std::size_t keep = static_cast<std::size_t>(std::max(historyLimit_, 0));
        if (history_.size() > keep)
            history_.erase(history_.begin(), history_.end() - static_cast<std::ptrdiff_t>(keep));
    }
    persist();
    return resolved;
}

std::vector<NudgeOutcome> NudgeOutcomeTracker::recentOutcomes(int limit) const {
    std::lock_guard lock(mutex_);
    std::vector<NudgeOutcome> out;
    for (const auto& entry : newest(limit))
        out.push_back(entry.outcome);
    return out;
}

std::vector<AgentContext::NudgeResponse> NudgeOutcomeTracker::recentResponses(int limit) const {
    std::lock_guard lock(mutex_);
    const TimePoint now = now_();
    std::vector<AgentContext::NudgeResponse> out;
    for (const auto& entry : newest(limit))
        out.push_back({wholeDaysBetween(entry.resolvedAt, now), entry.partOfDay, entry.outcome});
    return out;
}

std::vector<ResolvedNudgeOutcome> NudgeOutcomeTracker::newest(int limit) const {
    const std::size_t count = std::min(history_.size(), static_cast<std::size_t>(std::max(limit, 0)));
    return {history_.rbegin(), history_.rbegin() + static_cast<std::ptrdiff_t>(count)};
}

void NudgeOutcomeTracker::persist() {
    nlohmann::json pending = nlohmann::json::array();
    for (const auto& fire : pending_) {
        nlohmann::json item = {{"firedAt", Iso8601::format(fire.firedAt)},
                               {"rhythmScoreAtFire", fire.rhythmScoreAtFire}};
        if (fire.explicitlyStepped) item["explicitlyStepped"] = *fire.explicitlyStepped;
        pending.push_back(std::move(item));
    }
    nlohmann::json history = nlohmann::json::array();
    for (const auto& entry : history_) {
        history.push_back({{"outcome", std::string(toString(entry.outcome))},
                           {"partOfDay", std::string(toString(entry.partOfDay))},
                           {"resolvedAt", Iso8601::format(entry.resolvedAt)}});
    }
    // A score that is not a number fails the encoding: the file keeps its last good content.
    auto text =
        JsonText::encode(nlohmann::json{{"history", std::move(history)}, {"pending", std::move(pending)}});
    if (text) (void)store_->write(*text);
}

}  // namespace quillfen
