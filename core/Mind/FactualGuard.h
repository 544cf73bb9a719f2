#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "Contract/AgentSummary.h"
#include "Mind/VoiceGuard.h"

// Keeps the mind from inventing numbers: every count a line claims (an ordinal, a number before
// afternoons or times, a number of long, fragmented or scattered days) must be one the week can
// back. Allowed are 2 and 4 whatever the week holds, and the week's counts of long and of
// fragmented afternoons.
namespace quillfen::FactualGuard {

// Empty when every claimed count is allowed; otherwise just numberMismatchesSummary, however many
// counts are wrong. A line that claims nothing passes. Capitals do not matter.
std::vector<VoiceRule> check(std::string_view line, const AgentSummary& summary);

// The counts a text claims, duplicates kept, in the order of the passes that find them. The text
// must already be lower-case: nothing here ignores case.
std::vector<std::int64_t> claimedCounts(std::string_view lowercasedText);

}  // namespace quillfen::FactualGuard
