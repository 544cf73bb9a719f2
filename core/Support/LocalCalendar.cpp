#include "Support/LocalCalendar.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace quillfen::LocalCalendar {

namespace {

// tzset and mktime share process-wide state; one lock keeps concurrent callers consistent.
std::mutex& zoneMutex() {
    static std::mutex m;
    return m;
}

// mktime reaches far past what the clock holds (nanoseconds, some 292 years either side of
// 1970); such a time stops at the clock's first or last instant instead of overflowing.
TimePoint fromTimeT(std::time_t t) {
    using std::chrono::seconds;
    constexpr auto lowest = std::chrono::duration_cast<seconds>(TimePoint::duration::min()).count() + 1;
    constexpr auto highest = std::chrono::duration_cast<seconds>(TimePoint::duration::max()).count() - 1;
    if (t < lowest) return TimePoint::min();
    if (t > highest) return TimePoint::max();
    return std::chrono::system_clock::from_time_t(t);
}

std::time_t floorTimeT(TimePoint t) {
    auto secs = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count();
    return static_cast<std::time_t>(secs);
}

TimePoint makeLocal(std::tm tm) {
    tm.tm_isdst = -1;
    std::time_t result = std::mktime(&tm);
    return fromTimeT(result);
}

// Re-reads the zone when TZ changed, and otherwise at most once a second: tzset checks the
// system zone file on every call, which dominated summaries that convert thousands of samples.
// Call with the zone lock held.
void refreshZone() {
    static std::string lastTZ;
    static bool lastHadTZ = false;
    static std::chrono::steady_clock::time_point lastRefresh{};
    const char* tz = std::getenv("TZ");
    const auto now = std::chrono::steady_clock::now();
    const bool tzChanged = (tz != nullptr) != lastHadTZ || (tz != nullptr && lastTZ != tz);
    if (!tzChanged && lastRefresh != std::chrono::steady_clock::time_point{} &&
        now - lastRefresh < std::chrono::seconds(1)) {
        return;
    }
    tzset();
    lastHadTZ = tz != nullptr;
    lastTZ = tz != nullptr ? tz : "";
    lastRefresh = now;
}

}  // namespace

std::tm localTime(TimePoint t) {
    std::lock_guard lock(zoneMutex());
    refreshZone();
    std::time_t secs = floorTimeT(t);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return tm;
}

double localHour(TimePoint t) {
    std::tm tm = localTime(t);
    return tm.tm_hour + tm.tm_min / 60.0;
}

std::string dayKey(TimePoint t) {
    std::tm tm = localTime(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

LocalDates::Date LocalDates::of(TimePoint t) {
    const std::time_t second = floorTimeT(t);
    if (from_ <= second && second < to_) return date_;
    const std::tm local = localTime(t);
    date_ = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    from_ = second;
    to_ = second + 1;
    // At one offset the day runs from its midnight for 86400 seconds. When both ends of that span
    // show this date at this offset, no clock change falls inside (zones change at most once a
    // day), and the whole span is this date. A day with a change is taken second by second.
    const std::time_t midnight = second - (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
    const std::time_t end = midnight + 86400;
    auto sameDayAndOffset = [&](std::time_t at) {
        std::tm check = localTime(fromTimeT(at));
        return check.tm_gmtoff == local.tm_gmtoff && check.tm_year == local.tm_year && check.tm_mon == local.tm_mon &&
               check.tm_mday == local.tm_mday;
    };
    if (midnight <= second && second < end && sameDayAndOffset(midnight) && sameDayAndOffset(end - 1)) {
        from_ = midnight;
        to_ = end;
    }
    return date_;
}

TimePoint startOfDay(TimePoint t) {
    return startOfDayOffset(t, 0);
}

TimePoint startOfDayOffset(TimePoint t, int days) {
    std::tm tm = localTime(t);
    std::lock_guard lock(zoneMutex());
    std::tm day{};
    day.tm_year = tm.tm_year;
    day.tm_mon = tm.tm_mon;
    day.tm_mday = tm.tm_mday + days;
    TimePoint start = makeLocal(day);
    // Where a transition skips midnight, mktime may land late on the day before; the day
    // then starts at the first minute whose local date is the wanted one.
    std::tm wanted = day;
    wanted.tm_isdst = -1;
    std::mktime(&wanted);
    for (int step = 0; step < 24 * 60; ++step) {
        std::time_t secs = floorTimeT(start);
        std::tm check{};
        localtime_r(&secs, &check);
        if (check.tm_mday == wanted.tm_mday && check.tm_mon == wanted.tm_mon) break;
        start += std::chrono::minutes(1);
    }
    return start;
}

TimePoint fromLocal(int year, int month, int day, int hour, int minute, int second) {
    std::lock_guard lock(zoneMutex());
    tzset();
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return makeLocal(tm);
}

}  // namespace quillfen::LocalCalendar
