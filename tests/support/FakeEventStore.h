#pragma once

#include <vector>

#include "Signals/EventStore.h"

namespace quillfen::test {

// A calendar held in memory. `events` returns the stored events that overlap the range, in the
// order they were added; `requestAccess` answers at once with `grantOnRequest`.
class FakeEventStore final : public EventStore {
public:
    CalendarAccess access = CalendarAccess::fullAccess;
    bool grantOnRequest = true;
    std::vector<CalendarEvent> stored;
    std::vector<EventDraft> saved;
    int accessRequests = 0;

    void add(TimePoint start, TimePoint end, bool isAllDay = false) {
        stored.push_back({start, end, isAllDay});
    }

    CalendarAccess accessStatus() const override { return access; }
    void requestAccess(std::function<void(bool granted)> completion) override;
    std::vector<CalendarEvent> events(TimePoint start, TimePoint end) const override;
    std::optional<CalendarInfo> defaultCalendar() const override;
    bool save(const EventDraft& draft) override;
};

}  // namespace quillfen::test
