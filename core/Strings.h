#pragma once

#include <optional>
#include <string_view>

#include "Decision/Decider.h"
#include "Mind/MoveLabel.h"
#include "NudgeCopy.h"
#include "Sky/SkyVerdict.h"
#include "Stone/StoneIdentity.h"

// The system's words: fixed English, with the typographic apostrophe and the degree sign.
namespace quillfen::Strings {

inline constexpr std::string_view calmLine = "Nothing worth saying today.";
inline constexpr std::string_view calmSub = "I’ll speak up when a day earns it.";

// A local nudge: the stretch the candidate tells, flavoured by the sky and by the stone's
// temperament. The candidate's local hour is not read.
NudgeCopy nudge(const NudgeCandidate& candidate, const SkyVerdict& sky,
                std::optional<StoneTemperament> temperament = std::nullopt);

// As `nudge`, for while a Codex task runs: the body and the second panel line first say
// that the agent can carry on alone.
NudgeCopy codexNudge(const NudgeCandidate& candidate, const SkyVerdict& sky,
                     std::optional<StoneTemperament> temperament = std::nullopt);

// A line worded elsewhere (the mind, a developer's demonstration), trimmed, as a one-line nudge.
NudgeCopy fromAgentLine(std::string_view line, std::optional<MoveLabel> moveLabel = std::nullopt);

NudgeCopy demoNudge();

}  // namespace quillfen::Strings
