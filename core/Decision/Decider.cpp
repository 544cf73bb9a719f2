#include "Decision/Decider.h"

#include <cmath>

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<SilenceReason> kReasons[] = {
    {SilenceReason::notEarnedYet, "notEarnedYet"}, {SilenceReason::rateCapReached, "rateCapReached"},
    {SilenceReason::nighttime, "nighttime"},       {SilenceReason::userIsAway, "userIsAway"},
    {SilenceReason::heldForFocus, "heldForFocus"}, {SilenceReason::waitingForCodex, "waitingForCodex"},
};

}  // namespace

std::string_view toString(SilenceReason reason) {
    return enumName(reason, kReasons);
}
std::optional<SilenceReason> silenceReasonFrom(std::string_view raw) {
    return enumFromName(raw, kReasons);
}

Outcome Decider::decide(const CoarseState& state, std::int64_t nudgesFiredToday, const DeciderThresholds& t,
                        std::optional<std::int64_t> minutesSinceFireInStretch) {
    if (nudgesFiredToday >= t.maxNudgesPerDay) return StaySilent{SilenceReason::rateCapReached};
    if (state.attention == AttentionState::idle) return StaySilent{SilenceReason::userIsAway};
    if (state.continuousActiveMinutes < t.fireAfterMinutes) return StaySilent{SilenceReason::notEarnedYet};
    if (minutesSinceFireInStretch && *minutesSinceFireInStretch < t.fireAfterMinutes)
        return StaySilent{SilenceReason::notEarnedYet};
    if (state.attention == AttentionState::focused && state.load != Load::high) {
        return StaySilent{SilenceReason::notEarnedYet};
    }
    // Written so that an hour that is not a number falls outside the day.
    const bool daytime = state.localHour >= t.dayStartHour && state.localHour < t.dayEndHour;
    if (!daytime) return StaySilent{SilenceReason::nighttime};
    return OutsideNow{NudgeCandidate{state.continuousActiveMinutes, state.appSwitchesLastHour,
                                     state.localHour,
                                     state.continuousActiveMinutes < t.wordyVariantFloorMinutes}};
}

LocalBackstop::LocalBackstop(int dailyCap) : dailyCap_(dailyCap < 0 ? 0 : dailyCap) {}

bool LocalBackstop::mayFire(std::int64_t firedToday) const {
    return firedToday < dailyCap_;
}

std::optional<std::string> LocalBackstop::denialReason(std::int64_t firedToday) const {
    if (mayFire(firedToday)) return std::nullopt;
    return "reached today's safety ceiling (" + std::to_string(dailyCap_) +
           ") \u2014 the agent rests, never nags";
}

}  // namespace quillfen
