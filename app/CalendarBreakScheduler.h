#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Intervention/CalendarBreak.h"
#include "Signals/EventStore.h"
#include "Support/Clock.h"
#include "platform/UserDefaults.h"

namespace quillfen {

// On a heavy day, once, a ten-minute hold "step outside · the stone" in the first free gap of
// the working day, written into the user's calendar with an alarm at its start. Every attempt
// that gets past the trigger, and every hold placed, is one line of the actions journal
// (~/.ostrel/actions-log.jsonl), which the mirror reads back.
//
// The user defaults belong to the main thread while the calendar is read off it, so an
// evaluation comes in three steps: `open` and `close` touch the defaults, `attempt` touches
// only the calendar and the journal. `evaluate` runs all three in a row.
class CalendarBreakScheduler final {
public:
    static constexpr const char* kEnabledKey = "calendarBreaksEnabled";
    static constexpr const char* kPlacedDayKey = "calendarBreakPlacedDayKey";
    static constexpr const char* kJournalKind = "calendar-break";
    // Meetings this close (in seconds) or overlapping follow each other back to back.
    static constexpr double kBackToBackGapSeconds = 300;

    // actions-log.jsonl in the family folder.
    static std::filesystem::path defaultJournal();

    // `store` may be null: a calendar that cannot be reached has no access.
    CalendarBreakScheduler(std::shared_ptr<EventStore> store, UserDefaults& defaults,
                           std::optional<std::filesystem::path> journal = std::nullopt,
                           CalendarBreak::Config config = CalendarBreak::Config::defaults(),
                           Clock now = systemClock());

    // The user's switch; a missing value, or one that is not a Boolean, is off.
    bool isEnabled() const;

    // One whole evaluation on the calling thread: the placed hold, or none.
    std::optional<CalendarBreak::Placement> evaluate(int loopsToday);

    // Today's evaluation may run: the switch is on and no hold was placed on this day.
    struct Gate {
        std::string dayKey;
    };
    std::optional<Gate> open() const;

    // What an attempt came to; a placed hold is only journalled once `close` has kept its day.
    struct Attempt {
        std::string dayKey;
        int loopsToday = 0;
        CalendarBreak::Signals trigger;
        std::optional<CalendarBreak::Placement> placed;
    };
    Attempt attempt(const Gate& gate, int loopsToday) const;
    std::optional<CalendarBreak::Placement> close(const Attempt& attempt);

    // Today's times as the calendar holds them.
    struct TodayTimes {
        std::vector<CalendarBreak::BusyInterval> busy;
        bool meetingsAhead = false;
        int backToBack = 0;
    };
    TodayTimes readTodayTimes() const;

    // "loops today 2", or "back-to-back 2, meetings ahead".
    std::string triggerReason(const CalendarBreak::Signals& trigger) const;

    const std::filesystem::path& journal() const { return journal_; }

private:
    bool hasAccess() const;
    bool writeHold(const CalendarBreak::Placement& placement) const;
    void journalLine(const std::string& action, const std::string& reason, const std::string& dayKey,
                     const std::optional<CalendarBreak::Placement>& hold = std::nullopt) const;

    std::shared_ptr<EventStore> store_;
    UserDefaults& defaults_;
    std::filesystem::path journal_;
    CalendarBreak::Config config_;
    Clock now_;
};

}  // namespace quillfen
