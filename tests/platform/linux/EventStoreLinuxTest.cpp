#include "platform/linux/EventStoreLinux.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <tuple>

#include <libical/ical.h>

#include "Signals/CalendarReader.h"
#include "Support/LocalCalendar.h"
#include "support/FileTimes.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using LocalCalendar::fromLocal;

const std::filesystem::path kFixtures = std::filesystem::path(QUILLFEN_TEST_FIXTURES) / "calendar";

// The processor time this thread has spent: what a read costs, however long a busy machine keeps
// it waiting for a processor.
std::chrono::nanoseconds threadTime() {
    timespec spent{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &spent);
    return std::chrono::seconds(spent.tv_sec) + std::chrono::nanoseconds(spent.tv_nsec);
}

// A calendar folder holding copies of the named fixtures, read in Berlin.
struct Calendar {
    test::TempDir dir;
    test::ScopedTimeZone tz{"Europe/Berlin"};
    EventStoreLinux store{dir.path()};

    explicit Calendar(std::initializer_list<const char*> fixtures = {}) {
        for (const char* name : fixtures)
            std::filesystem::copy_file(kFixtures / name, dir.path() / name);
    }
    std::vector<CalendarEvent> day(int year, int month, int dayOfMonth) const {
        return store.events(fromLocal(year, month, dayOfMonth), fromLocal(year, month, dayOfMonth + 1));
    }
};

TEST(EventStoreLinux, ReadsAMeetingInItsOwnTimeZone) {
    Calendar c{"meeting.ics"};
    EXPECT_EQ(c.day(2026, 1, 5), (std::vector<CalendarEvent>{{test::at("2026-01-05T08:00:00Z"),
                                                              test::at("2026-01-05T09:00:00Z"), false}}));
    EXPECT_TRUE(c.day(2026, 1, 6).empty());
    // A range that only touches the meeting's end does not hold it.
    EXPECT_TRUE(c.store.events(test::at("2026-01-05T09:00:00Z"), test::at("2026-01-05T10:00:00Z")).empty());
    EXPECT_EQ(c.store.events(test::at("2026-01-05T08:59:59Z"), test::at("2026-01-05T10:00:00Z")).size(), 1u);
}

TEST(EventStoreLinux, ReadsAnAllDayEventAsTheLocalDay) {
    Calendar c{"all-day.ics"};
    EXPECT_EQ(c.day(2026, 1, 5),
              (std::vector<CalendarEvent>{{fromLocal(2026, 1, 5), fromLocal(2026, 1, 6), true}}));
    EXPECT_TRUE(c.day(2026, 1, 4).empty());
    EXPECT_TRUE(c.day(2026, 1, 6).empty());
}

TEST(EventStoreLinux, ExpandsAWeeklySeriesWithItsExceptionsAndMovedOccurrences) {
    Calendar c{"weekly.ics"};
    struct Case {
        int month, day;
        std::optional<std::pair<int, int>> startsAt;  // local hour and minute
    };
    const std::vector<Case> mondays = {
        {11, 3, {{14, 0}}},      // the first
        {12, 22, {{14, 0}}},     //
        {12, 29, std::nullopt},  // excluded
        {1, 5, {{14, 0}}},       //
        {1, 12, {{15, 0}}},      // moved to three o'clock
        {1, 19, std::nullopt},   // cancelled
        {3, 30, {{14, 0}}},      // after the change to summer time, still two in the afternoon
    };
    for (const auto& m : mondays) {
        int year = m.month >= 11 ? 2025 : 2026;
        SCOPED_TRACE(std::to_string(year) + "-" + std::to_string(m.month) + "-" + std::to_string(m.day));
        auto events = c.day(year, m.month, m.day);
        if (!m.startsAt) {
            EXPECT_TRUE(events.empty());
            continue;
        }
        TimePoint start = fromLocal(year, m.month, m.day, m.startsAt->first, m.startsAt->second);
        EXPECT_EQ(events, (std::vector<CalendarEvent>{{start, start + std::chrono::minutes(30), false}}));
    }
    EXPECT_TRUE(c.day(2026, 1, 6).empty());
    EXPECT_TRUE(c.day(2025, 10, 27).empty());  // before the series starts
    EXPECT_EQ(c.store.events(fromLocal(2026, 1, 1), fromLocal(2026, 2, 1)).size(), 3u);
}

TEST(EventStoreLinux, FeedsTheCalendarReaderBackToBackMeetings) {
    Calendar c{"meeting.ics", "all-day.ics", "weekly.ics", "back-to-back-1.ics", "back-to-back-2.ics"};
    // 9:00-10:00, 11:00-11:30 (written in UTC), 11:32-12:17 (floating, by duration), 14:00-14:30.
    CalendarSignal signal = CalendarReader::read(c.store, fromLocal(2026, 1, 5, 10, 30));
    EXPECT_EQ(signal, (CalendarSignal{true, 4, 165, 1, 30}));
}

TEST(EventStoreLinux, PassesOverFilesThatAreNotCalendarsOrTooLarge) {
    Calendar c{"meeting.ics"};
    test::writeFile(c.dir.path() / "garbage.ics", "this is not a calendar\n\x01\x02");
    test::writeFile(c.dir.path() / "empty.ics", "");
    test::writeFile(
        c.dir.path() / "no-start.ics",
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:x\r\nSUMMARY:none\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    std::string huge = test::readFile(kFixtures / "back-to-back-1.ics");
    huge.insert(huge.find("SUMMARY"), "DESCRIPTION:" + std::string(2 << 20, 'x') + "\r\n");
    test::writeFile(c.dir.path() / "huge.ics", huge);
    std::filesystem::copy_file(kFixtures / "back-to-back-1.ics", c.dir.path() / "notes.txt");
    std::filesystem::copy_file(kFixtures / "back-to-back-1.ics", c.dir.path() / ".hidden.ics");
    std::filesystem::create_directories(c.dir.path() / "folder.ics");
    ASSERT_EQ(::mkfifo((c.dir.path() / "pipe.ics").c_str(), 0600), 0);
    EXPECT_EQ(c.day(2026, 1, 5).size(), 1u);
}

// Found by fuzzing: an excluded date in the year 1013, and an end in 1694 of an event of 2025,
// overflowed the clock.
TEST(EventStoreLinux, LeavesOutTimesBeyondTheClocksRange) {
    Calendar c{"meeting.ics"};
    test::writeFile(c.dir.path() / "far.ics",
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n"
                    "BEGIN:VEVENT\r\nUID:a\r\nDTSTART;TZID=Europe/Berlin:20260105T100000\r\n"
                    "DURATION:PT30M\r\nRRULE:FREQ=DAILY;COUNT=5\r\n"
                    "EXDATE;TZID=Europe/Berlin:10130053T100000\r\nEND:VEVENT\r\n"
                    "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:99990105T100000Z\r\nEND:VEVENT\r\n"
                    "BEGIN:VEVENT\r\nUID:c\r\nDTSTART;VALUE=DATE:10130105\r\nEND:VEVENT\r\n"
                    // Ends centuries before it starts: read as an instant.
                    "BEGIN:VEVENT\r\nUID:d\r\nDTSTART:20260105T120000Z\r\nDTEND:16940105T100000Z\r\n"
                    "END:VEVENT\r\nEND:VCALENDAR\r\n");
    const TimePoint ten = fromLocal(2026, 1, 5, 10);
    const TimePoint noon = test::at("2026-01-05T12:00:00Z");
    EXPECT_EQ(c.day(2026, 1, 5), (std::vector<CalendarEvent>{{ten, ten + std::chrono::minutes(30), false},
                                                             {noon, noon, false},
                                                             {test::at("2026-01-05T08:00:00Z"),
                                                              test::at("2026-01-05T09:00:00Z"), false}}));
}

// Every rule had its own budget of steps, so a file of many rules that repeat
// every second took minutes to read.
TEST(EventStoreLinux, ManyRulesRepeatingEverySecondAreReadQuickly) {
    Calendar c{"meeting.ics"};
    std::string rules;
    for (int i = 0; i < 200; ++i)
        rules += "RRULE:FREQ=SECONDLY\r\n";
    test::writeFile(c.dir.path() / "busy.ics",
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n"
                    "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:19000101T000000Z\r\n" +
                        rules + "END:VEVENT\r\nEND:VCALENDAR\r\n");
    EXPECT_EQ(c.day(2026, 1, 5), (std::vector<CalendarEvent>{{test::at("2026-01-05T08:00:00Z"),
                                                              test::at("2026-01-05T09:00:00Z"), false}}));
}

// Found by fuzzing: libical searched an hourly rule for the last Sunday of October, which never
// matches, for 11 seconds in one step.
TEST(EventStoreLinux, RulesAreNeverSearchedPastTheRange) {
    Calendar c{"meeting.ics"};
    auto event = [](const char* uid, const char* start, const char* rule) {
        return std::string("BEGIN:VEVENT\r\nUID:") + uid + "\r\nDTSTART:" + start +
               "\r\nDURATION:PT10M\r\nRRULE:" + rule + "\r\nEND:VEVENT\r\n";
    };
    test::writeFile(c.dir.path() / "rules.ics",
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n" +
                        event("a", "19741025T030000Z", "FREQ=HOURLY;BYMONTH=10;BYDAY=-1SU") +
                        event("b", "19741025T030000Z", "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30") +
                        event("c", "19900101T030000Z", "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30;COUNT=5") +
                        event("d", "20260101T150000Z", "FREQ=DAILY;COUNT=5") +
                        event("e", "20260105T160000Z", "FREQ=HOURLY;COUNT=3") + "END:VCALENDAR\r\n");
    auto startsOf = [&](int day) {
        std::vector<TimePoint> starts;
        for (const auto& e : c.day(2026, 1, day))
            starts.push_back(e.start);
        std::sort(starts.begin(), starts.end());
        return starts;
    };
    EXPECT_EQ(startsOf(5),
              (std::vector<TimePoint>{test::at("2026-01-05T08:00:00Z"), test::at("2026-01-05T15:00:00Z"),
                                      test::at("2026-01-05T16:00:00Z"), test::at("2026-01-05T17:00:00Z"),
                                      test::at("2026-01-05T18:00:00Z")}));
    EXPECT_TRUE(startsOf(6).empty()) << "the count still ends the daily series";
}

// Every file had a time budget of its own, so a folder of files that each spent theirs took
// seconds to read.
TEST(EventStoreLinux, OneTimeBudgetCoversTheWholeFolder) {
    Calendar c{"meeting.ics"};
    for (int file = 0; file < 40; ++file) {
        test::writeFile(c.dir.path() / ("series-" + std::to_string(file) + ".ics"),
                        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:a\r\n"
                        "DTSTART:19720105T150000Z\r\nDURATION:PT15M\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"
                        "END:VCALENDAR\r\n");
    }
    const auto start = threadTime();
    EXPECT_FALSE(c.day(2026, 1, 5).empty());
    EXPECT_LT(threadTime() - start, std::chrono::milliseconds(600));
}

// Found by fuzzing: libical searches a rule that never matches for up to half a second in one
// step, or in making its iterator.
TEST(EventStoreLinux, RulesThatNeverMatchCostNothingAndTheOthersAreStillRead) {
    Calendar c;
    const std::vector<std::pair<const char*, bool>> rules = {
        {"FREQ=MONTHLY;BYMONTH=2;BYMONTHDAY=30", false},
        {"FREQ=MONTHLY;BYDAY=6MO", false},
        {"FREQ=MONTHLY;BYSETPOS=7;BYDAY=MO", false},
        {"FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU;BYSETPOS=3", false},
        {"FREQ=MONTHLY;INTERVAL=12;BYMONTH=2;BYMONTHDAY=29", false},
        {"FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU;BYWEEKNO=3", false},
        {"FREQ=MONTHLY;BYDAY=1MO", true},
        {"FREQ=MONTHLY;BYMONTHDAY=-27", true},
        {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=3", true},
        {"FREQ=MONTHLY;INTERVAL=12;BYMONTHDAY=5", true},
        {"FREQ=YEARLY;BYWEEKNO=2;BYDAY=MO", true},
        {"FREQ=YEARLY;BYYEARDAY=5", true},
    };
    std::string events;
    std::vector<TimePoint> expected;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        // The minute of each series tells it.
        const std::string minute = (i < 10 ? "0" : "") + std::to_string(i);
        events += "BEGIN:VEVENT\r\nUID:" + minute + "\r\nDTSTART:20200101T00" + minute +
                  "00Z\r\nRRULE:" + rules[i].first + "\r\nEND:VEVENT\r\n";
        if (rules[i].second) expected.push_back(test::at("2026-01-05T00:" + minute + ":00Z"));
    }
    test::writeFile(c.dir.path() / "rules.ics",
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n" + events + "END:VCALENDAR\r\n");
    const auto start = threadTime();
    std::vector<TimePoint> starts;
    for (const auto& e : c.store.events(test::at("2026-01-05T00:00:00Z"), test::at("2026-01-06T00:00:00Z")))
        starts.push_back(e.start);
    EXPECT_LT(threadTime() - start, std::chrono::milliseconds(200));
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts, expected);
}

// Found by fuzzing: libical follows a zone that a file defines from the zone's start to the
// present at every time read in it, and a zone whose rule repeated hourly took nine seconds.
TEST(EventStoreLinux, AZoneTooCostlyToFollowGivesWayToTheSystemsZoneOfItsName) {
    for (const auto& [since, rule, followed] : std::vector<std::tuple<const char*, const char*, bool>>{
             {"16010101T000000", "FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU", true},
             {"19700101T030000", "FREQ=HOURLY;BYMONTH=10;BYDAY=-1SU", false},
             {"19700101T030000", "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30", false},
             {"00010101T030000", "FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU", false},
         }) {
        Calendar c;
        test::writeFile(
            c.dir.path() / "zoned.ics",
            std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VTIMEZONE\r\n") +
                "TZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0500\r\nTZOFFSETTO:+0500\r\n" +
                "DTSTART:" + since + "\r\nRRULE:" + rule + "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n" +
                "BEGIN:VEVENT\r\nUID:a\r\nDTSTART;TZID=Europe/Berlin:20260105T100000\r\nEND:VEVENT\r\n" +
                "END:VCALENDAR\r\n");
        const auto start = threadTime();
        const auto events = c.day(2026, 1, 5);
        EXPECT_LT(threadTime() - start, std::chrono::milliseconds(200)) << rule;
        ASSERT_EQ(events.size(), 1u) << rule;
        EXPECT_EQ(events[0].start, test::at(followed ? "2026-01-05T05:00:00Z" : "2026-01-05T09:00:00Z"))
            << rule;
    }
}

TEST(EventStoreLinux, GrantsAccessByTheFolderItself) {
    test::TempDir dir;
    EventStoreLinux missing(dir.path() / "calendar");
    EXPECT_EQ(missing.accessStatus(), CalendarAccess::notDetermined);
    EXPECT_EQ(missing.defaultCalendar(), std::nullopt);
    EXPECT_FALSE(
        missing.save({"hold", test::at("2026-01-05T13:00:00Z"), test::at("2026-01-05T13:05:00Z"), 0.0}));
    EXPECT_TRUE(missing.events(test::at("2026-01-05T00:00:00Z"), test::at("2026-01-06T00:00:00Z")).empty());

    int answers = 0;
    missing.requestAccess([&](bool granted) {
        ++answers;
        EXPECT_TRUE(granted);
    });
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(missing.accessStatus(), CalendarAccess::fullAccess);
    EXPECT_EQ(missing.defaultCalendar(), (CalendarInfo{(dir.path() / "calendar").string(), "calendar"}));

    test::writeFile(dir.path() / "file", "not a folder");
    EventStoreLinux notAFolder(dir.path() / "file");
    EXPECT_EQ(notAFolder.accessStatus(), CalendarAccess::denied);
    notAFolder.requestAccess([&](bool granted) {
        ++answers;
        EXPECT_FALSE(granted);
    });
    EXPECT_EQ(answers, 2);

    // A sync tool's folder: the user's own link to it is the calendar, another user's is none.
    std::filesystem::create_directories(dir.path() / "synced");
    std::filesystem::create_directory_symlink(dir.path() / "synced", dir.path() / "linked");
    EXPECT_EQ(EventStoreLinux(dir.path() / "linked").accessStatus(), CalendarAccess::fullAccess);
    std::filesystem::create_directory_symlink(dir.path() / "synced", dir.path() / "placed");
    if (test::giveToAnotherUser(dir.path() / "placed")) {
        EventStoreLinux placed(dir.path() / "placed");
        EXPECT_EQ(placed.accessStatus(), CalendarAccess::denied);
        EXPECT_FALSE(placed.save({"hold", test::at("2026-01-05T13:00:00Z"), test::at("2026-01-05T13:05:00Z"), 0.0}));
        EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "synced"));
    }

    if (::geteuid() != 0) {  // permissions do not bind the superuser
        std::filesystem::create_directories(dir.path() / "locked");
        std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::none);
        EXPECT_EQ(EventStoreLinux(dir.path() / "locked").accessStatus(), CalendarAccess::denied);
        std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_all);
    }
}

TEST(EventStoreLinux, ClearsAwayWhatAKilledSaveLeftAndNothingElse) {
    test::TempDir dir;
    const auto now = test::at("2026-01-05T14:03:00Z");
    const auto old = now - std::chrono::minutes(2);
    const struct {
        const char* name;
        TimePoint modified;
        bool removed;
    } cases[] = {
        {".6f1c2d3e-4a5b-4c6d-8e7f-0a1b2c3d4e5f.ics.Ab12Cd", old, true},
        {".6f1c2d3e-4a5b-4c6d-8e7f-0a1b2c3d4e5f.ics.Ef34Gh", now, false},  // a save under way
        {".meeting.ics.Ab12Cd", old, false},                               // a sync tool's
        {".6F1C2D3E-4A5B-4C6D-8E7F-0A1B2C3D4E5F.ics.Ab12Cd", old, false},
    };
    for (const auto& c : cases)
        test::writeFileModified(dir.path() / c.name, "BEGIN:VCALENDAR", c.modified);
    EventStoreLinux store(dir.path(), [now] { return now; });
    for (const auto& c : cases)
        EXPECT_EQ(!std::filesystem::exists(dir.path() / c.name), c.removed) << c.name;
}

TEST(EventStoreLinux, FindsItsFolderFromTheEnvironment) {
    test::TestHome home;
    {
        test::ScopedEnv unset("QUILLFEN_CALENDAR_DIR", std::nullopt);
        EXPECT_EQ(EventStoreLinux::defaultFolder(), home.dataDirectory() / "calendar");
        EXPECT_EQ(EventStoreLinux().folder(), home.dataDirectory() / "calendar");
    }
    test::ScopedEnv set("QUILLFEN_CALENDAR_DIR", (home.path() / "vdir/work").string());
    EXPECT_EQ(EventStoreLinux::defaultFolder(), home.path() / "vdir/work");
}

TEST(EventStoreLinux, SavesAHoldWithAnAlarmAtItsStartThatReadsBack) {
    test::TempDir dir;
    test::ScopedTimeZone tz("Europe/Berlin");
    test::FixedClock clock(test::at("2026-01-05T12:00:00Z"));
    EventStoreLinux store(dir.path(), clock);
    const TimePoint start = test::at("2026-01-05T13:00:00Z");
    const TimePoint end = test::at("2026-01-05T13:05:00Z");
    ASSERT_TRUE(store.save({"step outside · the stone, now", start, end, 0.0}));
    ASSERT_TRUE(store.save({"no alarm", start, end, std::nullopt}));

    EXPECT_EQ(store.events(fromLocal(2026, 1, 5), fromLocal(2026, 1, 6)),
              (std::vector<CalendarEvent>{{start, end, false}, {start, end, false}}));

    int alarms = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().extension(), ".ics");
        EXPECT_EQ(entry.status().permissions() & std::filesystem::perms::others_all,
                  std::filesystem::perms::none);
        std::string text = test::readFile(entry.path());
        icalcomponent* calendar = icalparser_parse_string(text.c_str());
        ASSERT_NE(calendar, nullptr);
        icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
        ASSERT_NE(event, nullptr);
        std::string title = icalcomponent_get_summary(event);
        EXPECT_EQ(icaltime_as_timet(icalcomponent_get_dtstamp(event)), 1767614400);
        icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT);
        if (title == "no alarm") {
            EXPECT_EQ(alarm, nullptr);
        } else {
            EXPECT_EQ(title, "step outside · the stone, now");
            ASSERT_NE(alarm, nullptr);
            ++alarms;
            icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
            ASSERT_NE(trigger, nullptr);
            EXPECT_EQ(icaldurationtype_as_int(icalproperty_get_trigger(trigger).duration), 0);
            EXPECT_EQ(icalproperty_get_action(icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY)),
                      ICAL_ACTION_DISPLAY);
        }
        icalcomponent_free(calendar);
    }
    EXPECT_EQ(alarms, 1);
}

}  // namespace
}  // namespace quillfen
