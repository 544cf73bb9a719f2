#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "Support/Clock.h"

// The journals of the breather, the side of the Claude Code integration that speaks inside the
// agent's replies. It writes them; they are only read here, through the user's own links alone,
// and like every journal of another tool only their newest part, or up to a cap.
namespace quillfen::BreatherJournal {

// The newest part of the fire log that is read for its times: years of a breather's fires.
inline constexpr std::size_t kFireLogTailBytes = 1024 * 1024;
// The most of the fire log whose lines are counted: sixteen times the part read for its times.
inline constexpr std::uintmax_t kFireLogCountedBytes = 16 * kFireLogTailBytes;
// The decisions are written far more often; their newest 3000 lines are looked at, and this holds
// them many times over.
inline constexpr std::size_t kDecisionsTailBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kDecisionLinesRead = 3000;

// ~/.ostrel/breather-log.jsonl: one line a fire, with its "ts".
std::filesystem::path fireLogFile();
// ~/.ostrel/breather-decisions.jsonl: "ts", "verdict" and "slow" a line.
std::filesystem::path decisionsFile();

// The fire log's non-empty lines, counted over the bytes it held when opened, without holding
// them; nothing when it cannot be read or is larger than kFireLogCountedBytes.
std::optional<std::int64_t> fireCount(const std::filesystem::path& fireLog);

// The times of the fires, in file order; a line whose "ts" is not a whole-second ISO 8601 time is
// skipped. Nothing when the log cannot be read.
std::optional<std::vector<TimePoint>> fireTimes(const std::filesystem::path& fireLog);

struct FiresToday {
    int count = 0;
    TimePoint last;
    bool operator==(const FiresToday&) const = default;
};

// Fires from the start of the local day of `now` up to `now`, both ends included; nothing when
// there are none or the log cannot be read.
std::optional<FiresToday> firesToday(const std::filesystem::path& fireLog, TimePoint now);

// Fires from a week before `now` on; a fire stamped after `now` counts too. 0 when the log
// cannot be read.
int firesThisWeek(const std::filesystem::path& fireLog, TimePoint now);

// The most pulls behind a decision of the day of `now` that stayed under the breather's threshold
// ("verdict" "below"), among the newest 3000 lines; 0 when there is none, nothing when the
// journal cannot be read.
std::optional<std::int64_t> nearestMiss(const std::filesystem::path& decisions, TimePoint now);

}  // namespace quillfen::BreatherJournal
