#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Support/Clock.h"

namespace quillfen {

enum class AttentionState { focused, fragmented, idle };
enum class Load { low, medium, high };
enum class DisplayState { awake, displayAsleep, locked };

std::string_view toString(AttentionState);
std::string_view toString(Load);
std::string_view toString(DisplayState);
std::optional<AttentionState> attentionStateFrom(std::string_view);
std::optional<Load> loadFrom(std::string_view);
std::optional<DisplayState> displayStateFrom(std::string_view);

inline constexpr DisplayState kAllDisplayStates[] = {DisplayState::awake, DisplayState::displayAsleep,
                                                     DisplayState::locked};

namespace DisplayStates {
// A locked session wins over whatever the screens do.
DisplayState classify(bool screensAsleep, bool sessionLocked);
bool isTrueAbsence(DisplayState);
}  // namespace DisplayStates

// One observation of the user's work, read once a tick.
struct SignalSample {
    TimePoint timestamp;
    double continuousActiveSeconds = 0;
    std::int64_t appSwitchesLastHour = 0;
    double secondsSinceLastInput = 0;
    double localHour = 0;
    std::optional<double> titleChurnPerHour;
    std::optional<DisplayState> displayState;
    bool operator==(const SignalSample&) const = default;
};

// The coarse reading of one sample.
struct CoarseState {
    AttentionState attention = AttentionState::focused;
    Load load = Load::low;
    std::int64_t continuousActiveMinutes = 0;
    std::int64_t appSwitchesLastHour = 0;
    double localHour = 0;
    bool operator==(const CoarseState&) const = default;
};

// JSON forms. Dates go through the caller's date form: the sample's encoder takes it as text.
// `sampleToJson` writes the timestamp as ISO 8601; readers accept the same.
nlohmann::json sampleToJson(const SignalSample&);
// Fails (no value) on a missing required key, a wrong type or an unknown enumeration value.
std::optional<SignalSample> sampleFromJson(const nlohmann::json&);
// An array of samples; fails as a whole when the value is not an array or one element fails.
std::optional<std::vector<SignalSample>> samplesFromJson(const nlohmann::json&);

nlohmann::json coarseStateToJson(const CoarseState&);
std::optional<CoarseState> coarseStateFromJson(const nlohmann::json&);

}  // namespace quillfen
