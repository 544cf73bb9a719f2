#pragma once

#include <filesystem>
#include <optional>

#include "Signals/ClaudeBody.h"
#include "Support/Clock.h"

namespace quillfen::ClaudeBodyReader {

// The last `days` calendar days (today first) of Claude Code and Codex work, from the logs under
// `projectsDir` (default ~/.claude/projects) and ~/.codex/sessions. Only times and whether the
// user spoke are taken; lines are matched as text, never decoded. Reads at most 512,000 bytes of a
// file (its tail) and stops once 40,000,000 are charged. Stateless; never fails.
ClaudeBody read(TimePoint now, int days,
                const std::optional<std::filesystem::path>& projectsDir = std::nullopt);

}  // namespace quillfen::ClaudeBodyReader
