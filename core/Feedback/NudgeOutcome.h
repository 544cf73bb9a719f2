#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace quillfen {

// How a nudge ended: the user took the move, let it pass, or the signals cannot tell.
enum class NudgeOutcome { landed, ignored, unknown };

inline constexpr NudgeOutcome kAllNudgeOutcomes[] = {NudgeOutcome::landed, NudgeOutcome::ignored,
                                                     NudgeOutcome::unknown};

std::string_view toString(NudgeOutcome);
// Exact, case-sensitive matches only.
std::optional<NudgeOutcome> nudgeOutcomeFrom(std::string_view);

// Written as the raw value; any other text fails to read (throws nlohmann::json::exception).
void to_json(nlohmann::json&, const NudgeOutcome&);
void from_json(const nlohmann::json&, NudgeOutcome&);

}  // namespace quillfen
