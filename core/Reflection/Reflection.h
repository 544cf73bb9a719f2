#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Contract/AgentSummary.h"

namespace quillfen::Reflection {

// The week said back in one calm sentence. A reflection observes; it never asks or advises.

// 0 to 4 as words ("no", "one", ... "four"); any other number as its digits.
std::string spelled(std::int64_t n);

// The day's line for the panel, the desktop pane and the mirror; without a summary the
// quiet watching line.
std::string todayLine(const std::optional<AgentSummary>& summary);

// The observe-only panel's headline and status line.
std::string observeHeadline(const AgentSummary& summary);
std::string observeStatus(const AgentSummary& summary);

// A short murmur, or the empty string when there is nothing to murmur.
std::string murmur(const AgentSummary& summary);

// The generated line, trimmed, when it is not empty and mirror-clean; otherwise the derived
// line exactly as given.
std::string choose(const std::optional<std::string>& generated, const std::string& derived);

// False for a question mark or any advising phrase, matched case-insensitively anywhere,
// inside words too.
bool isMirrorClean(std::string_view line);

}  // namespace quillfen::Reflection
