#pragma once

#include <optional>
#include <vector>

#include "Contract/AgentSummary.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// One calendar day of AI coding-agent work.
struct ClaudeDay {
    int daysAgo = 0;
    bool isToday = true;
    bool observed = false;
    int userTurns = 0;
    int longestRunMin = 0;
    int afternoonSpanMin = 0;
    int distinctProjects = 0;
    int switches = 0;
    std::optional<double> firstHour;
    std::optional<TimePoint> lastTimestamp;
    AttentionState attention = AttentionState::idle;
    Load load = Load::low;
    bool longAfternoon = false;
    bool fragmentedAfternoon = false;

    // A day without events.
    static ClaudeDay empty(int daysAgo);

    bool operator==(const ClaudeDay&) const = default;
};

// The week of agent work, today first. A default-made body is the empty one held before the
// first read.
struct ClaudeBody {
    bool available = false;
    std::vector<ClaudeDay> days;
    ClaudeDay today = ClaudeDay::empty(0);
    int daysObserved = 0;
    int longAfternoonsThisWeek = 0;
    int fragmentedAfternoonsThisWeek = 0;

    std::vector<AgentSummary::DayMark> weekMarks() const;
    // The summary of this week as of `now` (its hour read in the local time zone); a negative
    // nudge count counts as 0.
    AgentSummary toSummary(TimePoint now, int nudgesAlreadyThisWeek,
                           std::optional<bool> skyConfirmedGood) const;

    bool operator==(const ClaudeBody&) const = default;
};

}  // namespace quillfen
