#include "Signals/ClaudeBody.h"

#include <algorithm>

#include "Support/LocalCalendar.h"

namespace quillfen {

ClaudeDay ClaudeDay::empty(int daysAgo) {
    ClaudeDay day;
    day.daysAgo = daysAgo;
    day.isToday = daysAgo == 0;
    return day;
}

std::vector<AgentSummary::DayMark> ClaudeBody::weekMarks() const {
    std::vector<AgentSummary::DayMark> marks;
    marks.reserve(days.size());
    for (const auto& day : days) {
        marks.push_back({day.daysAgo, day.isToday, day.observed, day.longAfternoon, day.fragmentedAfternoon});
    }
    return marks;
}

AgentSummary ClaudeBody::toSummary(TimePoint now, int nudgesAlreadyThisWeek,
                                   std::optional<bool> skyConfirmedGood) const {
    AgentSummary summary;
    summary.profile = AgentProfile::work;
    summary.summary.daysObserved = daysObserved;
    summary.summary.longAfternoonsThisWeek = longAfternoonsThisWeek;
    summary.summary.fragmentedAfternoonsThisWeek = fragmentedAfternoonsThisWeek;
    summary.summary.nudgesAlreadyThisWeek = std::max(0, nudgesAlreadyThisWeek);
    summary.summary.today = {
        .partOfDay = partOfDayOf(LocalCalendar::localTime(now).tm_hour),
        .continuousScreenBand = screenBandOf(today.longestRunMin),
        .attentionState = today.attention,
        .load = today.load,
        .wentLong = today.longAfternoon,
    };
    summary.skyConfirmedGood = skyConfirmedGood;
    return summary;
}

}  // namespace quillfen
