#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "Support/Clock.h"

namespace quillfen {

// Today's Claude Code work, read from the session logs' times only.
struct AIToolSignal {
    bool available = false;
    int sessionsToday = 0;
    std::optional<int> lastActiveMinAgo;
    int activeSpanMinToday = 0;
    int longestRunMinToday = 0;
    int projectsToday = 0;
    int projectSwitchesToday = 0;
    bool operator==(const AIToolSignal&) const = default;
};

namespace AIToolReader {

// Reads the logs under `projectsDir` (default ~/.claude/projects) modified since the start of the
// local day that holds `now`. Never fails: a folder that cannot be listed reads as unavailable.
AIToolSignal read(TimePoint now, const std::optional<std::filesystem::path>& projectsDir = std::nullopt);

// The agents' time forms: an internet date-time with a zone ("Z" or "+hh:mm"), with a fraction of
// seconds (`isoFrac`, which requires one) or without (`isoPlain`). A time without a zone is neither.
// Both are plain functions, safe from any thread.
std::optional<TimePoint> isoFrac(std::string_view text);
std::optional<TimePoint> isoPlain(std::string_view text);

}  // namespace AIToolReader

}  // namespace quillfen
