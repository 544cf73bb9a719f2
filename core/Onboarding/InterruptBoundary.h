#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "Config/AppConfig.h"

namespace quillfen {

// When the user lets the stone interrupt them; it rewrites the decider's thresholds.
// The order of the cases is the order of the panel's frequency choice (quiet, balanced, off).
enum class InterruptBoundary { unmistakable, effortStopsChanging, onlyWhenAsked };

inline constexpr InterruptBoundary kAllInterruptBoundaries[] = {
    InterruptBoundary::unmistakable, InterruptBoundary::effortStopsChanging, InterruptBoundary::onlyWhenAsked};

std::string_view toString(InterruptBoundary);
// Exact, case-sensitive matches of the raw value only.
std::optional<InterruptBoundary> interruptBoundaryFrom(std::string_view);

// Written as its raw value; any other text fails to read (throws nlohmann::json::exception).
void to_json(nlohmann::json&, const InterruptBoundary&);
void from_json(const nlohmann::json&, InterruptBoundary&);

namespace InterruptBoundaries {

inline constexpr InterruptBoundary defaultBoundary = InterruptBoundary::effortStopsChanging;

// The user defaults key that keeps the chosen boundary as its raw value.
inline constexpr std::string_view storageKey = "interruptBoundary";

// The one rule for reading the stored string: nothing, or anything that is not exactly a raw
// value, is the default.
InterruptBoundary stored(const std::optional<std::string>& raw);

// `base` with the fire-after minutes and the daily cap of the boundary; "never, until I ask"
// only closes the cap and keeps the base's minutes.
DeciderThresholds thresholds(InterruptBoundary, const DeciderThresholds& base);

// The boundary step's row: its title and the note under it.
std::string_view title(InterruptBoundary);
std::string_view note(InterruptBoundary);
// Completes "Because you allowed: ...".
std::string_view allowedPhrase(InterruptBoundary);
// What the stone might say under this boundary, shown on the one-moment step.
std::string_view exampleLine(InterruptBoundary);

}  // namespace InterruptBoundaries

}  // namespace quillfen
