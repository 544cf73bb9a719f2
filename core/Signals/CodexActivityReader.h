#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "Signals/AIActivityEvent.h"
#include "Support/Clock.h"

namespace quillfen {

// Whether a Codex task runs right now, and how busy the last hour was.
struct CodexActivitySnapshot {
    bool isTaskRunning = false;
    int runningTaskCount = 0;
    std::optional<TimePoint> runningSince;
    std::optional<TimePoint> lastActivityAt;
    int toolCallsLastHour = 0;
    int userTurnsLastHour = 0;
    bool operator==(const CodexActivitySnapshot&) const = default;
};

// Reads the Codex agent's session logs (JSON Lines anywhere below ~/.codex/sessions) for their
// timing only. Stateless and safe from any thread; nothing here fails.
namespace CodexActivityReader {

// The events of the logs modified within `days` + 1 days before `now`, oldest first. At most
// 1,000,000 bytes are read of one file (its tail) and reading stops once 20,000,000 are charged.
std::vector<AIActivityEvent> readEvents(
    TimePoint now, int days, const std::optional<std::filesystem::path>& sessionsDir = std::nullopt);

// The snapshot over the last two days of logs; a session whose newest event is more than
// `staleAfter` seconds old no longer runs a task.
CodexActivitySnapshot readSnapshot(TimePoint now, const std::optional<std::filesystem::path>& sessionsDir,
                                   double staleAfter);

}  // namespace CodexActivityReader

}  // namespace quillfen
