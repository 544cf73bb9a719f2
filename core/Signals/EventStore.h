#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Support/Clock.h"

namespace quillfen {

enum class CalendarAccess { notDetermined, denied, fullAccess };

// One occurrence of an event, as the calendar readers see it: times only, never its words.
struct CalendarEvent {
    TimePoint start;
    TimePoint end;
    bool isAllDay = false;
    bool operator==(const CalendarEvent&) const = default;
};

struct CalendarInfo {
    std::string identifier;
    std::string title;
    bool operator==(const CalendarInfo&) const = default;
};

// An event to be written into the default calendar.
struct EventDraft {
    std::string title;
    TimePoint start;
    TimePoint end;
    // When the alarm sounds, in seconds from the start (0 at the start, negative before it);
    // none for no alarm.
    std::optional<double> alarmOffsetSeconds;
};

// The user's calendar. Implementations are safe to use from more than one thread.
class EventStore {
public:
    virtual ~EventStore() = default;

    virtual CalendarAccess accessStatus() const = 0;

    // Asks for full access to events and calls `completion` exactly once with whether it holds.
    // The call may come before this returns or later on another thread.
    virtual void requestAccess(std::function<void(bool granted)> completion) = 0;

    // The occurrences of every calendar's events that overlap [start, end), repeating events
    // expanded, in the store's own order.
    virtual std::vector<CalendarEvent> events(TimePoint start, TimePoint end) const = 0;

    // Where new events go; none without full access.
    virtual std::optional<CalendarInfo> defaultCalendar() const = 0;

    // Saves the draft into the default calendar; false when it could not be saved.
    virtual bool save(const EventDraft& draft) = 0;
};

}  // namespace quillfen
