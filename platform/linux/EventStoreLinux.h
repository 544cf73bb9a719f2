#pragma once

#include <filesystem>

#include "Signals/EventStore.h"
#include "Support/Clock.h"

namespace quillfen {

// The calendar as one folder of iCalendar files, one event a file, the layout that CalDAV sync
// tools keep. Access is full when the folder can be read, denied when it exists but cannot, and
// not yet determined while it is missing; asking for access creates it.
class EventStoreLinux final : public EventStore {
public:
    // $QUILLFEN_CALENDAR_DIR when set, else $XDG_DATA_HOME/org.quillfen.Quillfen/calendar.
    static std::filesystem::path defaultFolder();

    EventStoreLinux();
    explicit EventStoreLinux(std::filesystem::path folder, Clock now = systemClock());

    const std::filesystem::path& folder() const { return folder_; }

    CalendarAccess accessStatus() const override;
    void requestAccess(std::function<void(bool granted)> completion) override;
    std::vector<CalendarEvent> events(TimePoint start, TimePoint end) const override;
    std::optional<CalendarInfo> defaultCalendar() const override;
    // Writes a new file holding the event, with a display alarm when the draft asks for one.
    bool save(const EventDraft& draft) override;

private:
    std::filesystem::path folder_;
    Clock now_;
};

}  // namespace quillfen
