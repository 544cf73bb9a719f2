#include "CalendarBreakScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/linux/EventStoreLinux.h"
#include "support/FixedClock.h"
#include "support/MemoryUserDefaults.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

constexpr const char* kAllDay =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:all-day\r\n"
    "DTSTART;VALUE=DATE:20260105\r\nDTEND;VALUE=DATE:20260106\r\nSUMMARY:offsite\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

std::string skip(const std::string& reason) {
    return R"({"action":"skip","dayKey":"2026-01-05","kind":"calendar-break","reason":")" + reason +
           R"(","ts":"2026-01-05T13:00:00Z"})" + "\n";
}

std::string placed(const std::string& reason, const std::string& start, const std::string& end) {
    return R"({"action":"placed","dayKey":"2026-01-05","holdEnd":"2026-01-05T)" + end +
           R"(:00Z","holdStart":"2026-01-05T)" + start + R"(:00Z","kind":"calendar-break","reason":")" + reason +
           R"(","ts":"2026-01-05T13:00:00Z"})" + "\n";
}

// A real calendar folder (one .ics file an event, written and read by libical) and the
// journal in a temporary home, at 13:00 UTC on a Monday.
struct Day {
    test::TestHome home;
    test::FixedClock clock{test::at("2026-01-05T13:00:00Z")};
    std::filesystem::path folder = home.path() / "calendar";
    std::shared_ptr<EventStoreLinux> store = std::make_shared<EventStoreLinux>(folder, clock.clock());
    test::MemoryUserDefaults defaults;
    CalendarBreakScheduler scheduler{store, defaults, std::nullopt, CalendarBreak::Config::defaults(), clock.clock()};

    explicit Day(bool access = true) {
        if (access) std::filesystem::create_directories(folder);
        defaults.setBoolean(CalendarBreakScheduler::kEnabledKey, true);
    }
    void meeting(const std::string& from, const std::string& to) {
        ASSERT_TRUE(store->save({"meeting", test::at("2026-01-05T" + from + "Z"), test::at("2026-01-05T" + to + "Z"),
                                 std::nullopt}));
    }
    std::string journal() const {
        return std::filesystem::exists(scheduler.journal()) ? test::readFile(scheduler.journal()) : "";
    }
};

TEST(CalendarBreakScheduler, PlacesOneHoldADayOnlyWhenTheDayCallsForIt) {
    const struct {
        std::string name;
        std::vector<std::pair<std::string, std::string>> meetings;
        bool allDay;
        int loops;
        std::string journal;
    } cases[] = {
        {"two loops and a free day", {}, false, 2, placed("loops today 2", "13:05", "13:15")},
        {"back to back, all over, none ahead", {{"09:00:00", "10:00:00"}, {"10:00:00", "11:00:00"}, {"11:05:00", "12:00:00"}},
         false, 1, ""},
        {"two back-to-back pairs, one meeting ahead",
         {{"12:00:00", "12:30:00"}, {"12:35:00", "13:10:00"}, {"13:15:00", "13:45:00"}}, false, 1,
         placed("back-to-back 2, meetings ahead", "13:45", "13:55")},
        {"301 seconds apart is not back to back",
         {{"12:00:00", "12:30:00"}, {"12:35:01", "13:10:00"}, {"13:15:00", "13:45:00"}}, false, 1, ""},
        // Counted as a meeting, it would close a second back-to-back pair.
        {"an all-day event is no meeting", {{"11:00:00", "11:30:00"}, {"11:30:00", "12:00:00"}, {"14:00:00", "14:30:00"}},
         true, 1, ""},
        {"an all-day event blocks no gap", {}, true, 2, placed("loops today 2", "13:05", "13:15")},
        {"no gap left in the working day", {{"09:00:00", "18:00:00"}}, false, 3,
         skip("triggered but no free gap in working hours")},
    };
    for (const auto& c : cases) {
        Day day;
        for (const auto& [from, to] : c.meetings) day.meeting(from, to);
        if (c.allDay) test::writeFile(day.folder / "all-day.ics", kAllDay);
        const auto hold = day.scheduler.evaluate(c.loops);
        EXPECT_EQ(day.journal(), c.journal) << c.name;
        EXPECT_EQ(hold.has_value(), c.journal.find("placed") != std::string::npos) << c.name;
        EXPECT_EQ(day.defaults.string(CalendarBreakScheduler::kPlacedDayKey),
                  hold ? std::optional<std::string>("2026-01-05") : std::nullopt)
            << c.name;
        // Placed or not, the next evaluation the same day says nothing new once a hold stands.
        if (hold) {
            EXPECT_FALSE(day.scheduler.evaluate(c.loops).has_value()) << c.name;
            EXPECT_EQ(day.journal(), c.journal) << c.name;
        }
    }
}

TEST(CalendarBreakScheduler, TheHoldIsAnEventWithItsAlarmAtItsStart) {
    Day day;
    ASSERT_TRUE(day.scheduler.evaluate(2));
    const auto events = day.store->events(test::at("2026-01-05T00:00:00Z"), test::at("2026-01-06T00:00:00Z"));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].start, test::at("2026-01-05T13:05:00Z"));
    EXPECT_EQ(events[0].end, test::at("2026-01-05T13:15:00Z"));
    std::string text;
    for (const auto& file : std::filesystem::directory_iterator(day.folder)) text += test::readFile(file.path());
    EXPECT_NE(text.find("SUMMARY:step outside \u00b7 the stone"), std::string::npos);
    EXPECT_NE(text.find("BEGIN:VALARM"), std::string::npos);
    EXPECT_NE(text.find("TRIGGER:PT0S"), std::string::npos);
}

// The calendar folder as it is, except that no new event can be written into it.
class RefusingCalendar final : public EventStore {
public:
    explicit RefusingCalendar(std::shared_ptr<EventStore> folder) : folder_(std::move(folder)) {}
    CalendarAccess accessStatus() const override { return folder_->accessStatus(); }
    void requestAccess(std::function<void(bool)> completion) override { folder_->requestAccess(std::move(completion)); }
    std::vector<CalendarEvent> events(TimePoint start, TimePoint end) const override { return folder_->events(start, end); }
    std::optional<CalendarInfo> defaultCalendar() const override { return folder_->defaultCalendar(); }
    bool save(const EventDraft&) override { return false; }

private:
    std::shared_ptr<EventStore> folder_;
};

TEST(CalendarBreakScheduler, AHoldThatCannotBeWrittenIsASkipAndTheDayStaysOpen) {
    Day day;
    CalendarBreakScheduler refused(std::make_shared<RefusingCalendar>(day.store), day.defaults, std::nullopt,
                                   CalendarBreak::Config::defaults(), day.clock.clock());
    EXPECT_FALSE(refused.evaluate(2));
    EXPECT_EQ(day.journal(), skip("eventkit write failed"));
    EXPECT_TRUE(day.scheduler.evaluate(2)) << "a later evaluation the same day may still place the hold";
}

TEST(CalendarBreakScheduler, WithoutTheCalendarOnlyATriggeredDayIsJournalledAndTheLineIsAppended) {
    Day day(/*access=*/false);
    test::writeFile(day.scheduler.journal(), "{\"earlier\":true}\n");
    // A calm day writes nothing, however often it is evaluated.
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(day.scheduler.evaluate(1));
    EXPECT_EQ(day.journal(), "{\"earlier\":true}\n");
    EXPECT_FALSE(day.scheduler.evaluate(2));
    EXPECT_EQ(day.journal(), "{\"earlier\":true}\n" + skip("no calendar write access"));
    EXPECT_FALSE(std::filesystem::exists(day.folder)) << "no calendar is made without the user's grant";
}

// Through the one journal writer, which also mends a line a crash cut off.
TEST(CalendarBreakScheduler, TheJournalIsCutLikeTheDecisionsJournalButKeepsTheDaysLines) {
    Day day(/*access=*/false);
    const std::string earlyToday = placed("loops today 2", "09:05", "09:15");
    std::string yesterday = skip("no calendar write access");
    yesterday.replace(yesterday.find("2026-01-05"), 10, "2026-01-04");
    yesterday.insert(yesterday.find("\"reason\""), "\"note\":\"" + std::string(200, 'n') + "\",");
    std::string text = earlyToday;
    while (text.size() <= 4'000'000)
        text += yesterday;
    test::writeFile(day.scheduler.journal(), text);

    EXPECT_FALSE(day.scheduler.evaluate(2));
    const std::string journal = day.journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 10'001)
        << "the newest ten thousand and the day's early line";
    EXPECT_TRUE(journal.starts_with(earlyToday + yesterday));
    EXPECT_TRUE(journal.ends_with(yesterday + skip("no calendar write access")));
}

TEST(CalendarBreakScheduler, TheSwitchIsOnOnlyAsABoolean) {
    Day day;
    day.defaults.setString(CalendarBreakScheduler::kEnabledKey, "true");
    EXPECT_FALSE(day.scheduler.isEnabled());
    EXPECT_FALSE(day.scheduler.evaluate(5));
    day.defaults.remove(CalendarBreakScheduler::kEnabledKey);
    EXPECT_FALSE(day.scheduler.evaluate(5));
    EXPECT_EQ(day.journal(), "");
}

}  // namespace
}  // namespace quillfen
