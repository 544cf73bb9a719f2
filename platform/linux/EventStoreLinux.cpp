#include "platform/linux/EventStoreLinux.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include <libical/ical.h>

#include "Support/LocalCalendar.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"

namespace quillfen {

namespace {

// One event a file is small; anything larger is not a calendar file worth parsing.
constexpr std::size_t kMaxFileBytes = 1 << 20;
// A rule that repeats every second for years, or a file holding thousands of such rules, must
// not stall a read: the rules of one file share this many steps (some 55 years of a daily
// series), past which the rest of its series are left out. Steps do not measure everything:
// libical may search a rule that never matches for a long while in one step, so a read of the
// whole folder also has this much time for its series, and past it leaves the rest of them out.
constexpr int kMaxOccurrenceStepsPerFile = 20000;
constexpr auto kMaxExpansionTimePerRead = std::chrono::milliseconds(250);
// How far before the range an occurrence that lasts for years is looked for.
constexpr long long kMaxDaysAnOccurrenceReachesBack = 800;
// What a zone a file defines may ask: libical follows its rules up to a few years from now.
constexpr int kFirstGregorianYear = 1583;
constexpr int kZoneHorizonYear = 2040;
constexpr int kMaxZoneRuleYears = 1000;

// libical keeps process-wide timezone caches that are not safe to fill from two threads.
std::mutex& libicalMutex() {
    static std::mutex m;
    return m;
}

struct ComponentDeleter {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentDeleter>;

bool hasIcsExtension(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".ics";
}

// "<uid>.ics", the name `save` gives an event of ours: a version 4 UUID in lower-case hex.
bool isEventFileOfOurs(std::string_view name) {
    constexpr std::string_view kExtension = ".ics";
    constexpr std::size_t kUidLength = 36;
    if (name.size() != kUidLength + kExtension.size() || !name.ends_with(kExtension)) return false;
    for (std::size_t i = 0; i < kUidLength; ++i) {
        const char c = name[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool hasAny(const short* values) {
    return values[0] != ICAL_RECURRENCE_ARRAY_MAX;
}

// Whether a series could have an occurrence on some date from `first` to `last`, dates being
// days since 1970-01-01 in the frame of the series' start. Every occurrence passes the test, so a
// series that passes it on no date has no occurrence there and is not handed to libical, which
// may search a series that never matches (30 February, a sixth Sunday, a third "last Sunday")
// for hundreds of milliseconds in a single step, or in merely making its iterator.
class OccurrenceDates {
public:
    OccurrenceDates(const icalrecurrencetype& rule, const icaltimetype& start)
        : rule_(rule),
          interval_(std::max<short>(rule.interval, 1)),
          weekStart_(rule.week_start == ICAL_NO_WEEKDAY ? ICAL_MONDAY_WEEKDAY : rule.week_start),
          startDay_(daysFromCivil(start.year, start.month, start.day)) {}

    long long startDay() const { return startDay_; }

    bool anyBetween(long long first, long long last) const {
        // Calendars other than the Gregorian one, and their skipping of missing days, are
        // libical's alone to read.
        if (rule_.rscale != nullptr) return true;
        first = std::max(first, startDay_);
        for (long long day = first; day <= last; ++day) {
            if (aligned(day) && matches(day) && positionPossible(day)) return true;
        }
        return false;
    }

private:
    struct Civil {
        int year, month, day;
    };

    static long long daysFromCivil(long long y, int m, int d) {
        y -= m <= 2;
        const long long era = (y >= 0 ? y : y - 399) / 400;
        const long long yoe = y - era * 400;
        const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
        return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    }
    static Civil civilFromDays(long long z) {
        z += 719468;
        const long long era = (z >= 0 ? z : z - 146096) / 146097;
        const long long doe = z - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const long long mp = (5 * doy + 2) / 153;
        const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        return {static_cast<int>(yoe + era * 400 + (month <= 2)), month,
                static_cast<int>(doy - (153 * mp + 2) / 5 + 1)};
    }
    // libical's numbering: Sunday 1 to Saturday 7; 1970-01-01 was a Thursday.
    static int weekdayOf(long long day) { return static_cast<int>(((day % 7) + 11) % 7) + 1; }

    template <std::size_t N>
    static int length(const short (&values)[N]) {
        std::size_t n = 0;
        while (n < N && values[n] != ICAL_RECURRENCE_ARRAY_MAX)
            ++n;
        return static_cast<int>(n);
    }
    // The `index`th of `count` is listed, counted from the front (positive) or the back (negative).
    template <std::size_t N>
    static bool listed(const short (&values)[N], int index, int count) {
        for (int i = 0; i < length(values); ++i) {
            if (values[i] == index || values[i] == index - count - 1) return true;
        }
        return false;
    }

    long long weekOf(long long day) const { return day - (weekdayOf(day) - weekStart_ + 7) % 7; }

    bool aligned(long long day) const {
        const Civil c = civilFromDays(day), s = civilFromDays(startDay_);
        // Only months and years: a finer rule's next period is never far away, and libical counts
        // weeks its own way.
        switch (rule_.freq) {
            case ICAL_MONTHLY_RECURRENCE:
                return ((c.year - s.year) * 12 + c.month - s.month) % interval_ == 0;
            case ICAL_YEARLY_RECURRENCE:
                return (c.year - s.year) % interval_ == 0;
            default:
                return true;
        }
    }

    bool matches(long long day) const {
        const Civil c = civilFromDays(day);
        const long long yearStart = daysFromCivil(c.year, 1, 1);
        const int yearDay = static_cast<int>(day - yearStart + 1);
        const int yearDays = static_cast<int>(daysFromCivil(c.year + 1, 1, 1) - yearStart);
        const int monthDays = icaltime_days_in_month(c.month, c.year);
        if (hasAny(rule_.by_month) && !listed(rule_.by_month, c.month, 12)) return false;
        if (hasAny(rule_.by_month_day) && !listed(rule_.by_month_day, c.day, monthDays)) return false;
        if (hasAny(rule_.by_year_day) && !listed(rule_.by_year_day, yearDay, yearDays)) return false;
        if (hasAny(rule_.by_week_no)) {
            // Week 1 holds the year's first four days of a week; the week's fourth day tells its year.
            const long long middle = weekOf(day) + 3;
            const int year = civilFromDays(middle).year;
            const long long dec28 = daysFromCivil(year, 12, 28);
            const auto number = [&](long long d) {
                return static_cast<int>((weekOf(d) + 3 - daysFromCivil(year, 1, 1)) / 7 + 1);
            };
            if (!listed(rule_.by_week_no, number(day), number(dec28))) return false;
        }
        if (!hasAny(rule_.by_day)) return true;
        // A numbered weekday (2MO, -1SU) counts within the month, or within the year in a yearly
        // rule without months; elsewhere only its weekday is told.
        const bool numbered = rule_.freq == ICAL_MONTHLY_RECURRENCE ||
                              (rule_.freq == ICAL_YEARLY_RECURRENCE && !hasAny(rule_.by_week_no));
        const bool inMonth = rule_.freq == ICAL_MONTHLY_RECURRENCE || hasAny(rule_.by_month);
        const int index = inMonth ? c.day : yearDay, span = inMonth ? monthDays : yearDays;
        for (int i = 0; i < length(rule_.by_day); ++i) {
            if (icalrecurrencetype_day_day_of_week(rule_.by_day[i]) != weekdayOf(day)) continue;
            const int n = icalrecurrencetype_day_position(rule_.by_day[i]);
            if (n == 0 || !numbered || n == (index - 1) / 7 + 1 || -n == (span - index) / 7 + 1) return true;
        }
        return false;
    }

    // A set position past the candidates of the month or year picks none of them.
    bool positionPossible(long long day) const {
        if (!hasAny(rule_.by_set_pos)) return true;
        const Civil c = civilFromDays(day);
        long long first, end;
        if (rule_.freq == ICAL_MONTHLY_RECURRENCE) {
            first = daysFromCivil(c.year, c.month, 1);
            end = first + icaltime_days_in_month(c.month, c.year);
        } else if (rule_.freq == ICAL_YEARLY_RECURRENCE) {
            first = daysFromCivil(c.year, 1, 1);
            end = daysFromCivil(c.year + 1, 1, 1);
        } else {
            return true;
        }
        if (first == periodFirst_) return periodPossible_;
        long long candidates = 0;
        for (long long d = first; d < end; ++d)
            candidates += matches(d);
        candidates *= std::max(1, length(rule_.by_hour)) * std::max(1, length(rule_.by_minute)) *
                      std::max(1, length(rule_.by_second));
        bool possible = false;
        for (int i = 0; i < length(rule_.by_set_pos); ++i)
            possible = possible || std::abs(static_cast<long long>(rule_.by_set_pos[i])) <= candidates;
        periodFirst_ = first;
        periodPossible_ = possible;
        return possible;
    }

    const icalrecurrencetype& rule_;
    const int interval_;
    const int weekStart_;
    const long long startDay_;
    mutable long long periodFirst_ = std::numeric_limits<long long>::min();
    mutable bool periodPossible_ = false;
};

// A zone a file defines is followed from its start to the present for every time read in it. It
// is used only when that stays cheap, as in any real zone: each of its rules yearly, matching
// within its first two years, from no earlier than the Gregorian calendar, and some centuries of
// such rules in all.
bool isCheapToFollow(icaltimezone* zone) {
    icalcomponent* definition = icaltimezone_get_component(zone);
    if (definition == nullptr) return true;
    int ruleYears = 0;
    for (icalcomponent* c = icalcomponent_get_first_component(definition, ICAL_ANY_COMPONENT); c != nullptr;
         c = icalcomponent_get_next_component(definition, ICAL_ANY_COMPONENT)) {
        icalproperty* startProp = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY);
        for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY); p != nullptr;
             p = icalcomponent_get_next_property(c, ICAL_RRULE_PROPERTY)) {
            if (startProp == nullptr) return false;
            const icaltimetype start = icalproperty_get_dtstart(startProp);
            const icalrecurrencetype rule = icalproperty_get_rrule(p);
            const OccurrenceDates dates(rule, start);
            if (rule.freq != ICAL_YEARLY_RECURRENCE || start.year < kFirstGregorianYear ||
                !dates.anyBetween(dates.startDay(), dates.startDay() + 2 * 366)) {
                return false;
            }
            const int until = icaltime_is_null_time(rule.until) ? kZoneHorizonYear : rule.until.year;
            ruleYears += std::max(0, std::min(until, kZoneHorizonYear) - start.year);
            if (ruleYears > kMaxZoneRuleYears) return false;
        }
    }
    return true;
}

icaltimezone* zoneNamed(const char* tzid) {
    if (tzid == nullptr) return nullptr;
    if (icaltimezone* zone = icaltimezone_get_builtin_timezone(tzid)) return zone;
    return icaltimezone_get_builtin_timezone_from_tzid(tzid);
}

// A property's time with its zone resolved: from a VTIMEZONE in the file, else from the system's
// zone database by name. A zone that cannot be found leaves the time floating.
icaltimetype timeOf(icalproperty* prop, icalcomponent* owner, icaltimetype value) {
    if (value.is_date || icaltime_is_utc(value) || value.zone != nullptr) return value;
    icalparameter* param = icalproperty_get_first_parameter(prop, ICAL_TZID_PARAMETER);
    if (param == nullptr) return value;
    const char* tzid = icalparameter_get_tzid(param);
    for (icalcomponent* c = owner; c != nullptr; c = icalcomponent_get_parent(c)) {
        if (icaltimezone* zone = icalcomponent_get_timezone(c, tzid)) {
            if (isCheapToFollow(zone)) return icaltime_set_timezone(&value, zone);
            break;
        }
    }
    if (icaltimezone* zone = zoneNamed(tzid)) return icaltime_set_timezone(&value, zone);
    return value;
}

icaltimetype propertyTime(icalproperty* prop, icalcomponent* owner) {
    return timeOf(prop, owner, icalvalue_get_datetime(icalproperty_get_value(prop)));
}

// A calendar may name any year up to 9999; the clock holds only some 292 years either side of
// 1970, and a time outside them is no time at all here.
std::optional<TimePoint> withinClock(TimePoint t) {
    if (t == TimePoint::min() || t == TimePoint::max()) return std::nullopt;
    return t;
}

std::optional<TimePoint> withinClock(time_t secs) {
    using std::chrono::seconds;
    constexpr auto lowest = std::chrono::duration_cast<seconds>(TimePoint::duration::min()).count() + 1;
    constexpr auto highest = std::chrono::duration_cast<seconds>(TimePoint::duration::max()).count() - 1;
    if (secs < lowest || secs > highest) return std::nullopt;
    return std::chrono::system_clock::from_time_t(secs);
}

// Dates are local midnights; floating times are read in the local zone.
std::optional<TimePoint> instant(const icaltimetype& t) {
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t)) return std::nullopt;
    if (t.is_date) return withinClock(LocalCalendar::fromLocal(t.year, t.month, t.day));
    if (icaltime_is_utc(t) || t.zone != nullptr) {
        return withinClock(icaltime_as_timet_with_zone(t, t.zone ? t.zone : icaltimezone_get_utc_timezone()));
    }
    return withinClock(LocalCalendar::fromLocal(t.year, t.month, t.day, t.hour, t.minute, t.second));
}

bool overlaps(TimePoint start, TimePoint end, TimePoint rangeStart, TimePoint rangeEnd) {
    if (start >= rangeEnd) return false;
    return end > rangeStart || (start == end && start >= rangeStart);
}

bool isCancelled(icalcomponent* event) {
    return icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED;
}

struct Master {
    icalcomponent* event;
    icaltimetype start;
    TimePoint startAt;
    double seconds;  // timed events
    int days;        // all-day events
};

// The length of an event: DTEND, else DURATION, else one day for a date and nothing for a time.
void measure(Master& m) {
    icalproperty* endProp = icalcomponent_get_first_property(m.event, ICAL_DTEND_PROPERTY);
    std::optional<TimePoint> endAt;
    if (endProp != nullptr) {
        endAt = instant(propertyTime(endProp, m.event));
    } else if (icalproperty* dur = icalcomponent_get_first_property(m.event, ICAL_DURATION_PROPERTY)) {
        endAt = addSeconds(m.startAt, icaldurationtype_as_int(icalproperty_get_duration(dur)));
    }
    double seconds =
        endAt ? std::max(0.0, secondsBetween(m.startAt, *endAt)) : (m.start.is_date ? 86400.0 : 0.0);
    m.seconds = seconds;
    m.days = std::max(1, static_cast<int>(seconds / 86400.0 + 0.5));
}

CalendarEvent occurrence(const Master& m, TimePoint start, const icaltimetype& local) {
    if (m.start.is_date) {
        TimePoint end = LocalCalendar::fromLocal(local.year, local.month, local.day + m.days);
        return {start, end, true};
    }
    return {start, addSeconds(start, m.seconds), false};
}

// libical finds the next occurrence by trying every unit of the rule's frequency in turn and,
// when none fits, goes on trying for centuries: one step of a rule that repeats every second, but
// only on a day that never comes, takes hours. So a rule finer than daily is followed only when
// nothing filters its units, a rule is followed only when it can reach the range, and no rule is
// searched past the range: its end is moved to two days after it (room for floating and all-day
// times in any zone), and its count, which cannot stand beside an end, is handed back for the
// caller to keep.
// Seconds in one step of a rule's frequency, at the least.
double secondsPerStep(const icalrecurrencetype& rule) {
    const double interval = std::max<short>(rule.interval, 1);
    switch (rule.freq) {
        case ICAL_SECONDLY_RECURRENCE:
            return interval;
        case ICAL_MINUTELY_RECURRENCE:
            return 60 * interval;
        case ICAL_HOURLY_RECURRENCE:
            return 3600 * interval;
        case ICAL_DAILY_RECURRENCE:
            return 86400 * interval;
        case ICAL_WEEKLY_RECURRENCE:
            return 7 * 86400 * interval;
        case ICAL_MONTHLY_RECURRENCE:
            return 28 * 86400 * interval;
        case ICAL_YEARLY_RECURRENCE:
            return 365 * 86400 * interval;
        default:
            return 86400;
    }
}

std::optional<icalrecurrencetype> boundedRule(icalrecurrencetype rule, TimePoint start, bool startIsDate,
                                              TimePoint rangeEnd, int stepsLeft, int& count) {
    const bool finerThanDaily = rule.freq == ICAL_SECONDLY_RECURRENCE ||
                                rule.freq == ICAL_MINUTELY_RECURRENCE || rule.freq == ICAL_HOURLY_RECURRENCE;
    const bool filtered = hasAny(rule.by_second) || hasAny(rule.by_minute) || hasAny(rule.by_hour) ||
                          hasAny(rule.by_day) || hasAny(rule.by_month_day) || hasAny(rule.by_year_day) ||
                          hasAny(rule.by_week_no) || hasAny(rule.by_month) || hasAny(rule.by_set_pos);
    if (finerThanDaily && filtered) return std::nullopt;
    // A series that cannot reach the range within the steps left is not searched at all.
    if (secondsBetween(start, rangeEnd) / secondsPerStep(rule) > stepsLeft) return std::nullopt;
    count = rule.count > 0 ? rule.count : std::numeric_limits<int>::max();
    rule.count = 0;
    const auto endSecs = std::chrono::floor<std::chrono::seconds>(rangeEnd.time_since_epoch()).count();
    icaltimetype until = icaltime_from_timet_with_zone(static_cast<time_t>(endSecs + 2 * 86400),
                                                       startIsDate ? 1 : 0, icaltimezone_get_utc_timezone());
    if (icaltime_is_null_time(rule.until) || icaltime_compare(until, rule.until) < 0) rule.until = until;
    return rule;
}

// Counts only the time spent following series, not reading and parsing the files.
struct ExpansionBudget {
    using SteadyClock = std::chrono::steady_clock;

    SteadyClock::duration timeLeft = kMaxExpansionTimePerRead;
    int stepsLeft = 0;
    SteadyClock::time_point deadline;

    void startFile() {
        stepsLeft = kMaxOccurrenceStepsPerFile;
        deadline = SteadyClock::now() + timeLeft;
    }
    void endFile() { timeLeft = std::max(SteadyClock::duration::zero(), deadline - SteadyClock::now()); }
    bool spent() const { return stepsLeft <= 0 || SteadyClock::now() > deadline; }
};

void expand(const Master& m, const std::set<TimePoint>& overridden, TimePoint rangeStart, TimePoint rangeEnd,
            ExpansionBudget& budget, std::vector<CalendarEvent>& out) {
    std::set<TimePoint> excluded = overridden;
    for (icalproperty* p = icalcomponent_get_first_property(m.event, ICAL_EXDATE_PROPERTY); p != nullptr;
         p = icalcomponent_get_next_property(m.event, ICAL_EXDATE_PROPERTY)) {
        if (auto at = instant(propertyTime(p, m.event))) excluded.insert(*at);
    }
    std::set<TimePoint> seen;
    auto consider = [&](const icaltimetype& local) {
        auto at = instant(local);
        if (!at || excluded.count(*at) || !seen.insert(*at).second) return;
        CalendarEvent event = occurrence(m, *at, local);
        if (overlaps(event.start, event.end, rangeStart, rangeEnd)) out.push_back(event);
    };

    consider(m.start);
    // The dates on which an occurrence overlapping the range may start, in any zone.
    const auto dayOf = [](TimePoint t) {
        return static_cast<long long>(std::chrono::floor<std::chrono::days>(t).time_since_epoch().count());
    };
    const long long lastDay = dayOf(rangeEnd) + 2;
    const long long firstDay =
        std::max(dayOf(rangeStart) - static_cast<long long>(std::ceil(m.seconds / 86400)) - 2,
                 dayOf(rangeStart) - kMaxDaysAnOccurrenceReachesBack);
    for (icalproperty* p = icalcomponent_get_first_property(m.event, ICAL_RRULE_PROPERTY); p != nullptr;
         p = icalcomponent_get_next_property(m.event, ICAL_RRULE_PROPERTY)) {
        // Making the iterator may be a long search of its own.
        if (budget.spent()) break;
        const icalrecurrencetype given = icalproperty_get_rrule(p);
        if (!OccurrenceDates(given, m.start).anyBetween(firstDay, lastDay)) continue;
        int count = 0;
        auto rule = boundedRule(given, m.startAt, m.start.is_date, rangeEnd, budget.stepsLeft, count);
        if (!rule) continue;
        icalrecur_iterator* it = icalrecur_iterator_new(*rule, m.start);
        if (it == nullptr) continue;
        for (int taken = 0; taken < count && !budget.spent(); ++taken, --budget.stepsLeft) {
            icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next)) break;
            next.zone = m.start.zone;
            next.is_date = m.start.is_date;
            auto at = instant(next);
            if (!at || *at >= rangeEnd) break;
            consider(next);
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty* p = icalcomponent_get_first_property(m.event, ICAL_RDATE_PROPERTY); p != nullptr;
         p = icalcomponent_get_next_property(m.event, ICAL_RDATE_PROPERTY)) {
        icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        icaltimetype local = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
        consider(timeOf(p, m.event, local));
    }
}

void collect(icalcomponent* root, TimePoint rangeStart, TimePoint rangeEnd, ExpansionBudget& budget,
             std::vector<CalendarEvent>& out) {
    std::vector<icalcomponent*> vevents;
    if (icalcomponent_isa(root) == ICAL_VEVENT_COMPONENT) {
        vevents.push_back(root);
    } else {
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT); c != nullptr;
             c = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
            vevents.push_back(c);
        }
    }

    // A changed or cancelled occurrence of a series is its own VEVENT with a RECURRENCE-ID; it
    // takes the place of the occurrence the series would have had.
    std::vector<Master> masters;
    std::vector<std::pair<std::string, TimePoint>> overrides;
    std::vector<icalcomponent*> singles;
    for (icalcomponent* event : vevents) {
        icalproperty* startProp = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
        if (startProp == nullptr) continue;
        const char* uid = icalcomponent_get_uid(event);
        if (icalproperty* rid = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY)) {
            if (auto at = instant(propertyTime(rid, event))) overrides.emplace_back(uid ? uid : "", *at);
            singles.push_back(event);
            continue;
        }
        Master m{event, propertyTime(startProp, event), {}, 0, 1};
        auto startAt = instant(m.start);
        if (!startAt) continue;
        m.startAt = *startAt;
        measure(m);
        masters.push_back(m);
    }
    budget.startFile();
    for (const Master& m : masters) {
        if (isCancelled(m.event)) continue;
        const char* uid = icalcomponent_get_uid(m.event);
        std::set<TimePoint> overridden;
        for (const auto& [id, at] : overrides) {
            if (id == (uid ? uid : "")) overridden.insert(at);
        }
        expand(m, overridden, rangeStart, rangeEnd, budget, out);
    }
    budget.endFile();
    for (icalcomponent* event : singles) {
        if (isCancelled(event)) continue;
        icalproperty* startProp = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
        Master m{event, propertyTime(startProp, event), {}, 0, 1};
        auto startAt = instant(m.start);
        if (!startAt) continue;
        m.startAt = *startAt;
        measure(m);
        CalendarEvent e = occurrence(m, m.startAt, m.start);
        if (overlaps(e.start, e.end, rangeStart, rangeEnd)) out.push_back(e);
    }
}

std::string newUid() {
    std::random_device random;
    unsigned char bytes[16];
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

icaltimetype utcTime(TimePoint t) {
    auto secs = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count();
    return icaltime_from_timet_with_zone(static_cast<time_t>(secs), 0, icaltimezone_get_utc_timezone());
}

}  // namespace

std::filesystem::path EventStoreLinux::defaultFolder() {
    if (const char* dir = std::getenv("QUILLFEN_CALENDAR_DIR"); dir != nullptr && dir[0] != '\0') return dir;
    return Paths::dataDirectory() / "calendar";
}

EventStoreLinux::EventStoreLinux() : EventStoreLinux(defaultFolder()) {}

EventStoreLinux::EventStoreLinux(std::filesystem::path folder, Clock now)
    : folder_(std::move(folder)), now_(std::move(now)) {
    // What a save killed half-way left; a save of this run is younger than a minute.
    SafeFile::removeLeftoverTemporaries(folder_, isEventFileOfOurs, now_());
}

CalendarAccess EventStoreLinux::accessStatus() const {
    // A sync tool's folder linked in by the user is theirs; another user's link is no calendar of ours.
    if (const auto place = SafeFile::ownPlace(folder_, SafeFile::Kind::folder); place.refused()) {
        SafeFile::refuse(folder_, place.refusal);
        return CalendarAccess::denied;
    }
    struct stat st {};
    if (::stat(folder_.c_str(), &st) != 0) {
        return errno == ENOENT ? CalendarAccess::notDetermined : CalendarAccess::denied;
    }
    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr) return CalendarAccess::denied;
    ::closedir(dir);
    return CalendarAccess::fullAccess;
}

void EventStoreLinux::requestAccess(std::function<void(bool granted)> completion) {
    if (accessStatus() == CalendarAccess::notDetermined) (void)SafeFile::makePrivateFolder(folder_);
    completion(accessStatus() == CalendarAccess::fullAccess);
}

std::vector<CalendarEvent> EventStoreLinux::events(TimePoint start, TimePoint end) const {
    std::vector<CalendarEvent> out;
    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr) return out;
    std::vector<std::filesystem::path> files;
    while (const dirent* entry = ::readdir(dir)) {
        std::filesystem::path p = folder_ / entry->d_name;
        if (entry->d_name[0] != '.' && hasIcsExtension(p)) files.push_back(std::move(p));
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());

    ExpansionBudget budget;
    for (const auto& file : files) {
        // A calendar folder may be a sync tool's, where a link is the tool's own business.
        auto text = SafeFile::readWhole(file, kMaxFileBytes, SafeFile::Links::follow);
        if (!text) continue;
        std::lock_guard lock(libicalMutex());
        Component root(icalparser_parse_string(text->c_str()));
        if (!root) continue;
        collect(root.get(), start, end, budget, out);
    }
    return out;
}

std::optional<CalendarInfo> EventStoreLinux::defaultCalendar() const {
    if (accessStatus() != CalendarAccess::fullAccess) return std::nullopt;
    return CalendarInfo{folder_.string(), folder_.filename().string()};
}

bool EventStoreLinux::save(const EventDraft& draft) {
    if (accessStatus() != CalendarAccess::fullAccess) return false;
    const std::string uid = newUid();
    std::string text;
    {
        std::lock_guard lock(libicalMutex());
        Component calendar(icalcomponent_new_vcalendar());
        icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
        icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Quillfen//Quillfen//EN"));
        icalcomponent* event = icalcomponent_new_vevent();
        icalcomponent_add_property(event, icalproperty_new_uid(uid.c_str()));
        icalcomponent_add_property(event, icalproperty_new_dtstamp(utcTime(now_())));
        icalcomponent_add_property(event, icalproperty_new_dtstart(utcTime(draft.start)));
        icalcomponent_add_property(event, icalproperty_new_dtend(utcTime(std::max(draft.start, draft.end))));
        icalcomponent_add_property(event, icalproperty_new_summary(draft.title.c_str()));
        if (draft.alarmOffsetSeconds) {
            icalcomponent* alarm = icalcomponent_new_valarm();
            icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
            icalcomponent_add_property(alarm, icalproperty_new_description(draft.title.c_str()));
            icaltriggertype trigger = icaltriggertype_from_int(static_cast<int>(*draft.alarmOffsetSeconds));
            icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
            icalcomponent_add_component(event, alarm);
        }
        icalcomponent_add_component(calendar.get(), event);
        char* raw = icalcomponent_as_ical_string_r(calendar.get());
        if (raw == nullptr) return false;
        text = raw;
        std::free(raw);
    }
    // Written beside the target and renamed over it, so a sync tool never picks up half a file.
    if (SafeFile::replace(folder_ / (uid + ".ics"), text)) {
        SystemLog::error("calendar", "could not save an event in " + folder_.string());
        return false;
    }
    return true;
}

}  // namespace quillfen
