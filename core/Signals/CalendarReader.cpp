#include "Signals/CalendarReader.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "Signals/AgentLogMath.h"
#include "Support/LocalCalendar.h"

namespace quillfen::CalendarReader {

CalendarSignal read(const EventStore& store, TimePoint now) {
    const TimePoint dayStart = LocalCalendar::startOfDay(now);
    TimePoint dayEnd = LocalCalendar::startOfDayOffset(now, 1);
    if (dayEnd <= dayStart) dayEnd = now;

    std::vector<CalendarEvent> meetings;
    for (const auto& event : store.events(dayStart, dayEnd)) {
        if (!event.isAllDay) meetings.push_back(event);
    }
    std::stable_sort(meetings.begin(), meetings.end(),
                     [](const CalendarEvent& a, const CalendarEvent& b) { return a.start < b.start; });

    CalendarSignal signal;
    signal.authorized = true;
    signal.meetingsToday = static_cast<int>(meetings.size());
    long long busy = 0;
    for (std::size_t i = 0; i < meetings.size(); ++i) {
        // The whole duration counts, also the part outside today; overlapping meetings both count.
        busy += AgentLogMath::wholeMinutes(secondsBetween(meetings[i].start, meetings[i].end));
        if (i + 1 < meetings.size() && secondsBetween(meetings[i].end, meetings[i + 1].start) <= 300.0) {
            ++signal.backToBack;
        }
    }
    signal.busyMinutesToday = static_cast<int>(std::clamp<long long>(busy, INT_MIN, INT_MAX));
    for (const auto& meeting : meetings) {
        if (meeting.start > now) {
            signal.nextInMin = std::max(0, AgentLogMath::wholeMinutes(secondsBetween(now, meeting.start)));
            break;
        }
    }
    return signal;
}

void requestAndRead(std::shared_ptr<EventStore> store, TimePoint now,
                    std::function<void(const CalendarSignal&)> completion) {
    EventStore& asked = *store;
    asked.requestAccess([store = std::move(store), now, completion = std::move(completion)](bool granted) {
        completion(granted ? read(*store, now) : CalendarSignal{});
    });
}

}  // namespace quillfen::CalendarReader
