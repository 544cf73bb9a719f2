#include "support/FakeEventStore.h"

namespace quillfen::test {

void FakeEventStore::requestAccess(std::function<void(bool granted)> completion) {
    ++accessRequests;
    if (access == CalendarAccess::notDetermined) {
        access = grantOnRequest ? CalendarAccess::fullAccess : CalendarAccess::denied;
    }
    completion(access == CalendarAccess::fullAccess);
}

std::vector<CalendarEvent> FakeEventStore::events(TimePoint start, TimePoint end) const {
    std::vector<CalendarEvent> out;
    for (const auto& e : stored) {
        if (e.start < end && (e.end > start || (e.start == e.end && e.start >= start))) out.push_back(e);
    }
    return out;
}

std::optional<CalendarInfo> FakeEventStore::defaultCalendar() const {
    if (access != CalendarAccess::fullAccess) return std::nullopt;
    return CalendarInfo{"fake", "Calendar"};
}

bool FakeEventStore::save(const EventDraft& draft) {
    if (access != CalendarAccess::fullAccess) return false;
    saved.push_back(draft);
    return true;
}

}  // namespace quillfen::test
