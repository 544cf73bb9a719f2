#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using test::ScopedTimeZone;

TEST(Iso8601, WritesUtcWholeSecondsAndReadsItBack) {
    auto t = at("2026-01-05T14:03:00.750Z");
    EXPECT_EQ(Iso8601::format(t), "2026-01-05T14:03:00Z");
    EXPECT_EQ(Iso8601::parse("2026-01-05T14:03:00Z"), at("2026-01-05T14:03:00Z"));
    EXPECT_EQ(Iso8601::parse("2026-01-05T15:03:00+01:00"), at("2026-01-05T14:03:00Z"));
    EXPECT_EQ(Iso8601::format(at("1999-12-31T23:59:59Z")), "1999-12-31T23:59:59Z");
}

TEST(Iso8601, WritesTheCalendarDateAcrossTheClocksWholeRange) {
    // Leap days, the turn of centuries, before 1970 and the ends of the clock's range, checked
    // against the C library's calendar; a writer that reuses its last day agrees with one that does not.
    const std::int64_t instants[] = {0,           -1,          951782400,   951868799,   4107542399,
                                     -2208988801, -9223372035, 9223372035,  1767225599,  1709164800};
    Iso8601::LastDay last;
    for (std::int64_t seconds : instants) {
        const auto t = TimePoint{} + std::chrono::seconds(seconds) + std::chrono::milliseconds(seconds > 0 && seconds < 9e9 ? 999 : 0);
        std::time_t whole = static_cast<std::time_t>(seconds);
        std::tm tm{};
        gmtime_r(&whole, &tm);
        char expected[80];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        EXPECT_EQ(Iso8601::format(t), expected) << seconds;
        char text[Iso8601::kFormattedSize];
        Iso8601::formatInto(text, t, last);
        EXPECT_EQ(std::string(text, sizeof text), expected) << seconds;
        const auto next = t + std::chrono::seconds(seconds > 9e9 ? -1 : 1);
        Iso8601::formatInto(text, next, last);
        EXPECT_EQ(Iso8601::format(next), std::string(text, sizeof text));
    }
}

TEST(Iso8601, RefusesEverythingButTheStrictForm) {
    for (const char* bad :
         {"", "2026-01-05", "2026-01-05T14:03:00", "2026-01-05 14:03:00Z", "2026-13-05T14:03:00Z",
          "2026-02-29T00:00:00Z", "2026-01-05T24:00:00Z", "2026-01-05T14:03:00.5Z",
          "2026-01-05T14:03:00Zjunk", "2026-01-05T14:03:00+0100", "x026-01-05T14:03:00Z"}) {
        EXPECT_FALSE(Iso8601::parse(bad)) << bad;
    }
    EXPECT_TRUE(Iso8601::parse("2024-02-29T00:00:00Z"));
    EXPECT_EQ(Iso8601::parseWithFraction("2026-01-05T14:03:00.5Z"), at("2026-01-05T14:03:00.500Z"));
    EXPECT_FALSE(Iso8601::parseWithFraction("2026-01-05T14:03:00.Z"));
}

TEST(ReferenceDate, CountsSecondsFromTheStartOf2001) {
    EXPECT_DOUBLE_EQ(ReferenceDate::secondsSince2001(at("2001-01-01T00:00:00Z")), 0.0);
    EXPECT_DOUBLE_EQ(ReferenceDate::secondsSince2001(at("2001-01-02T00:00:00Z")), 86400.0);
    EXPECT_EQ(ReferenceDate::fromSecondsSince2001(-86400.0), at("2000-12-31T00:00:00Z"));
    EXPECT_FALSE(ReferenceDate::fromSecondsSince2001(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(ReferenceDate::fromSecondsSince2001(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(ReferenceDate::fromSecondsSince2001(1e300));
}

TEST(LocalCalendar, FollowsTheZoneInForce) {
    auto t = at("2026-01-05T22:59:00Z");
    {
        ScopedTimeZone zone("Europe/Berlin");
        EXPECT_EQ(LocalCalendar::dayKey(t), "2026-01-05");
        EXPECT_DOUBLE_EQ(LocalCalendar::localHour(t), 23.0 + 59.0 / 60.0);
        EXPECT_EQ(LocalCalendar::startOfDay(t), at("2026-01-04T23:00:00Z"));
        EXPECT_EQ(LocalCalendar::dayKey(t + std::chrono::minutes(1)), "2026-01-06");
    }
    {
        ScopedTimeZone zone("America/New_York");
        EXPECT_EQ(LocalCalendar::dayKey(t), "2026-01-05");
        EXPECT_EQ(LocalCalendar::startOfDay(t), at("2026-01-05T05:00:00Z"));
        EXPECT_DOUBLE_EQ(LocalCalendar::localHour(at("2026-01-05T19:45:30Z")), 14.75);
    }
}

TEST(LocalCalendar, DaysAcrossDaylightSavingChangesStartAtLocalMidnight) {
    ScopedTimeZone zone("Europe/Berlin");
    auto sunday = at("2026-03-29T12:00:00Z");  // clocks go forward at 02:00
    EXPECT_EQ(LocalCalendar::startOfDay(sunday), at("2026-03-28T23:00:00Z"));
    EXPECT_EQ(LocalCalendar::startOfDayOffset(sunday, 1), at("2026-03-29T22:00:00Z"));
    EXPECT_EQ(LocalCalendar::startOfDayOffset(sunday, -1), at("2026-03-27T23:00:00Z"));
}

TEST(LocalCalendar, ADayWithoutMidnightStartsAtItsFirstInstant) {
    // Chile skips from 00:00 to 01:00 on the first Sunday of September.
    ScopedTimeZone zone("America/Santiago");
    auto t = at("2026-09-06T15:00:00Z");
    auto start = LocalCalendar::startOfDay(t);
    EXPECT_EQ(LocalCalendar::dayKey(start), "2026-09-06");
    EXPECT_EQ(LocalCalendar::dayKey(start - std::chrono::seconds(1)), "2026-09-05");
}

// Found by fuzzing the calendar: a date in the year 1013 overflowed the clock.
TEST(LocalCalendar, ATimeBeyondTheClockStopsAtItsEnds) {
    ScopedTimeZone zone("UTC");
    EXPECT_EQ(LocalCalendar::fromLocal(1013, 1, 5, 10), TimePoint::min());
    EXPECT_EQ(LocalCalendar::fromLocal(9999, 12, 31), TimePoint::max());
    EXPECT_EQ(LocalCalendar::fromLocal(1700, 1, 1), at("1700-01-01T00:00:00Z"));
    EXPECT_EQ(LocalCalendar::fromLocal(2200, 7, 1), at("2200-07-01T00:00:00Z"));
}

// A heartbeat stamped in 1700 overflowed the age measured from now.
// The cached dates must be exactly the day keys, also where a day has no midnight, where the
// date steps back when summer time ends at 00:30, and where offsets are not whole minutes.
TEST(LocalDates, NameTheSameDayAsTheDayKeyAtEveryInstant) {
    struct Case {
        const char* zone;
        const char* from;
        const char* to;
        int stepSeconds;
    };
    const Case cases[] = {
        {"Europe/Berlin", "2026-01-01T00:00:00Z", "2027-01-01T00:00:00Z", 997},
        {"Europe/Berlin", "2026-10-24T12:00:00Z", "2026-10-26T00:00:00Z", 7},
        {"America/Santiago", "2026-09-05T00:00:00Z", "2026-09-08T00:00:00Z", 7},
        {"America/Santiago", "2026-04-03T00:00:00Z", "2026-04-06T00:00:00Z", 11},
        {"Australia/Lord_Howe", "2026-04-04T00:00:00Z", "2026-04-06T00:00:00Z", 13},
        {"XXX3YYY,M3.2.0/0:30,M11.1.0/0:30", "2026-10-31T00:00:00Z", "2026-11-03T00:00:00Z", 5},
        {"Africa/Monrovia", "1972-01-05T00:00:00Z", "1972-01-09T00:00:00Z", 9},
    };
    // At the ends of the clock a day's span reaches past what the clock holds.
    for (TimePoint edge : {TimePoint::min(), TimePoint::max()}) {
        LocalCalendar::LocalDates dates;
        const auto date = dates.of(edge);
        char key[32];
        std::snprintf(key, sizeof key, "%04d-%02d-%02d", date.year, date.month, date.day);
        EXPECT_EQ(key, LocalCalendar::dayKey(edge));
    }
    for (const Case& c : cases) {
        ScopedTimeZone zone{c.zone};
        std::vector<TimePoint> instants;
        for (TimePoint t = at(c.from); t < at(c.to); t += std::chrono::seconds(c.stepSeconds))
            instants.push_back(t);
        // Forward as the log runs, then backward, so that the cache is also left the other way.
        LocalCalendar::LocalDates dates;
        for (int pass = 0; pass < 2; ++pass) {
            for (TimePoint t : instants) {
                const auto date = dates.of(t);
                char key[32];
                std::snprintf(key, sizeof key, "%04d-%02d-%02d", date.year, date.month, date.day);
                ASSERT_EQ(key, LocalCalendar::dayKey(t)) << c.zone << " at " << Iso8601::format(t);
            }
            std::reverse(instants.begin(), instants.end());
        }
    }
}

TEST(Clock, MeasuresAndMovesAcrossTheWholeRangeOfTheClock) {
    const TimePoint early = at("1700-01-01T00:00:00Z");
    const TimePoint late = at("2250-01-01T00:00:00Z");
    const TimePoint now = at("2026-01-05T14:00:00Z");
    EXPECT_NEAR(secondsBetween(early, late), 17'356'291'200.0, 1e-3);
    EXPECT_NEAR(secondsBetween(late, early), -17'356'291'200.0, 1e-3);
    EXPECT_NEAR(secondsBetween(early, now), 10'287'957'600.0, 1e-3);
    EXPECT_EQ(secondsBetween(now, addSeconds(now, 0.25)), 0.25);

    EXPECT_EQ(addSeconds(now, 1e12), TimePoint::max());
    EXPECT_EQ(addSeconds(now, -1e12), TimePoint::min());
    EXPECT_EQ(addSeconds(late, 1e9), TimePoint::max());
    EXPECT_EQ(addSeconds(early, -3.2e9), TimePoint::min());
    EXPECT_EQ(addSeconds(early, 10'287'957'600.0), now);
}

TEST(FixedClock, CopiesShareOneTime) {
    test::FixedClock clock(at("2026-01-05T10:00:00Z"));
    Clock now = clock;
    clock.advance(90.5);
    EXPECT_EQ(now(), at("2026-01-05T10:01:30.500Z"));
}

}  // namespace
}  // namespace quillfen
