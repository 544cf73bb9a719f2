#pragma once

#include <ctime>
#include <string>

#include "Support/Clock.h"

namespace quillfen::LocalCalendar {

// Local calendar arithmetic over the POSIX time zone. `TZ` is read afresh on every call,
// so a test (or a user who moves) sees the zone in force now.

std::tm localTime(TimePoint t);

// Wall-clock hour plus minutes/60 (14:45 is 14.75); seconds are not counted.
double localHour(TimePoint t);

// "yyyy-MM-dd" of the local day that holds `t`.
std::string dayKey(TimePoint t);

// Midnight that starts the local day holding `t` (the first instant of the day where a
// transition skips midnight).
TimePoint startOfDay(TimePoint t);

// Start of the local day `days` days after (or before) the day holding `t`.
TimePoint startOfDayOffset(TimePoint t, int days);

// The local date of many instants, as `dayKey` names it, for a few conversions a day instead of
// one an instant: a summary asks it of thousands of samples. One holder per thread.
class LocalDates {
public:
    struct Date {
        int year = 0;
        int month = 0;
        int day = 0;
        bool operator==(const Date&) const = default;
    };
    Date of(TimePoint t);

private:
    // Every second in [from_, to_) lies on `date_`.
    std::time_t from_ = 0;
    std::time_t to_ = 0;
    Date date_;
};

// Local date and time to an instant; fields are normalised like mktime does. A time beyond the
// clock's range gives its first or last instant (TimePoint::min() or max()).
TimePoint fromLocal(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace quillfen::LocalCalendar
