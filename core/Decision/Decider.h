#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Config/AppConfig.h"
#include "Signals/SignalSample.h"

namespace quillfen {

enum class SilenceReason {
    notEarnedYet,
    rateCapReached,
    nighttime,
    userIsAway,
    heldForFocus,
    waitingForCodex
};

std::string_view toString(SilenceReason);
std::optional<SilenceReason> silenceReasonFrom(std::string_view);

// The facts a nudge's wording is made from.
struct NudgeCandidate {
    std::int64_t continuousActiveMinutes = 0;
    std::int64_t appSwitchesLastHour = 0;
    double localHour = 0;
    bool useWordyVariant = false;
    bool operator==(const NudgeCandidate&) const = default;
};

// The decider's result. `MicroShiftInside` is never produced by the decider; the engine
// treats it as silence.
struct OutsideNow {
    NudgeCandidate candidate;
    bool operator==(const OutsideNow&) const = default;
};
struct StaySilent {
    SilenceReason reason;
    bool operator==(const StaySilent&) const = default;
};
struct MicroShiftInside {
    NudgeCandidate candidate;
    bool operator==(const MicroShiftInside&) const = default;
};
using Outcome = std::variant<OutsideNow, StaySilent, MicroShiftInside>;

namespace Decider {
// The first test that holds decides: the cap, then absence, a short stretch, unbroken
// focus, and the night. A stretch that has already fired (`minutesSinceFireInStretch` ago)
// counts as short until that fire is as far behind as a fresh stretch's first must be.
Outcome decide(const CoarseState& state, std::int64_t nudgesFiredToday, const DeciderThresholds& thresholds,
               std::optional<std::int64_t> minutesSinceFireInStretch = std::nullopt);
}  // namespace Decider

// A fixed daily ceiling the application checks before it shows anything.
struct LocalBackstop {
    static constexpr int defaultDailyCap = 3;

    explicit LocalBackstop(int dailyCap = defaultDailyCap);

    int dailyCap() const { return dailyCap_; }
    bool mayFire(std::int64_t firedToday) const;
    std::optional<std::string> denialReason(std::int64_t firedToday) const;

private:
    int dailyCap_;
};

}  // namespace quillfen
