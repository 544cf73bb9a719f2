#pragma once

#include <cstdint>
#include <string>

#include "Contract/AgentSummary.h"

namespace quillfen::LocalLine {

// The nudge line that needs no mind: a sentence about the week's long afternoons and the
// invitation to step outside.
std::string line(const AgentSummary& summary);

// "first" to "seventh"; any other number is its digits followed by "th" (8th, 0th, -1th).
std::string ordinal(std::int64_t n);

}  // namespace quillfen::LocalLine
