#include "Intervention/CalendarBreak.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using CalendarBreak::BusyInterval;
using CalendarBreak::Placement;
using test::januaryLocal;
using ::testing::ElementsAre;

BusyInterval busy(int fromHour, int fromMinute, int toHour, int toMinute) {
    return {januaryLocal(fromHour, fromMinute), januaryLocal(toHour, toMinute)};
}

std::string describe(const std::optional<Placement>& p) {
    if (!p) return "none";
    return Iso8601::format(p->start) + " to " + Iso8601::format(p->end);
}

struct GapCase {
    std::string name;
    TimePoint now;
    std::vector<BusyInterval> busy;
    std::optional<Placement> expected;
};

TEST(CalendarBreak, TheHoldTakesTheStartOfTheFirstLongEnoughGapInWorkingHours) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const GapCase cases[] = {
        {"before work opens", januaryLocal(7, 0), {}, Placement{januaryLocal(9, 0), januaryLocal(9, 10)}},
        {"lead time to the second",
         januaryLocal(13, 2, 30),
         {},
         Placement{januaryLocal(13, 7, 30), januaryLocal(13, 17, 30)}},
        {"five minutes left at close", januaryLocal(17, 50), {}, std::nullopt},
        {"lead runs past close", januaryLocal(17, 56), {}, std::nullopt},
        {"exactly fifteen minutes left",
         januaryLocal(17, 40),
         {},
         Placement{januaryLocal(17, 45), januaryLocal(17, 55)}},
        {"cursor inside a meeting",
         januaryLocal(10, 0),
         {busy(10, 0, 10, 14)},
         Placement{januaryLocal(10, 14), januaryLocal(10, 24)}},
        {"a gap of exactly the minimum",
         januaryLocal(10, 0),
         {busy(10, 20, 11, 0)},
         Placement{januaryLocal(10, 5), januaryLocal(10, 15)}},
        {"a gap a minute short",
         januaryLocal(10, 0),
         {busy(10, 19, 11, 0)},
         Placement{januaryLocal(11, 0), januaryLocal(11, 10)}},
        {"touching meetings join",
         januaryLocal(8, 0),
         {busy(9, 0, 10, 0), busy(10, 0, 11, 0)},
         Placement{januaryLocal(11, 0), januaryLocal(11, 10)}},
        {"first fit wins over a larger later gap",
         januaryLocal(8, 0),
         {busy(9, 0, 9, 30), busy(9, 45, 12, 0), busy(14, 0, 15, 0)},
         Placement{januaryLocal(9, 30), januaryLocal(9, 40)}},
        {"a short gap is skipped for a later one",
         januaryLocal(8, 0),
         {busy(9, 0, 9, 30), busy(9, 44, 12, 0)},
         Placement{januaryLocal(12, 0), januaryLocal(12, 10)}},
        {"meetings filling the day to 17:50",
         januaryLocal(8, 0),
         {busy(9, 0, 13, 0), busy(12, 30, 17, 50)},
         std::nullopt},
        {"meeting running to close", januaryLocal(8, 0), {busy(8, 30, 18, 30)}, std::nullopt},
        {"a finished meeting and an inverted one are ignored",
         januaryLocal(10, 0),
         {busy(8, 0, 9, 30), busy(10, 30, 10, 10)},
         Placement{januaryLocal(10, 5), januaryLocal(10, 15)}},
        {"meetings given out of order",
         januaryLocal(8, 0),
         {busy(10, 0, 11, 0), busy(9, 0, 9, 50)},
         Placement{januaryLocal(11, 0), januaryLocal(11, 10)}},
    };
    for (const auto& c : cases) {
        auto actual = CalendarBreak::placement(c.busy, c.now);
        EXPECT_TRUE(actual == c.expected)
            << c.name << ": " << describe(actual) << ", wanted " << describe(c.expected);
    }
}

TEST(CalendarBreak, WorkingHoursFollowTheLocalZone) {
    test::ScopedTimeZone tz("America/New_York");
    auto p = CalendarBreak::placement({}, januaryLocal(7, 0));
    ASSERT_TRUE(p);
    EXPECT_EQ(Iso8601::format(p->start), "2026-01-05T14:00:00Z");
    EXPECT_EQ(LocalCalendar::localHour(p->start), 9.0);
}

TEST(CalendarBreak, AConfigurationChangesTheWindowTheGapAndTheHold) {
    test::ScopedTimeZone tz("Europe/Berlin");
    CalendarBreak::Config config;
    config.workingStartHour = 8;
    config.workingEndHour = 12;
    config.minGapMinutes = 30;
    config.holdMinutes = 20;
    config.leadMinutes = 0;
    auto p = CalendarBreak::placement({busy(8, 0, 8, 40), busy(9, 0, 11, 0)}, januaryLocal(7, 0), config);
    EXPECT_EQ(describe(p), describe(Placement{januaryLocal(11, 0), januaryLocal(11, 20)}));
    config.minGapMinutes = 61;
    EXPECT_EQ(CalendarBreak::placement({busy(8, 0, 8, 40), busy(9, 0, 11, 0)}, januaryLocal(7, 0), config),
              std::nullopt);
}

TEST(CalendarBreak, MergingClampsSortsAndJoinsTouchingOrOverlappingTimes) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint from = januaryLocal(9, 0);
    const TimePoint to = januaryLocal(18, 0);
    const std::vector<BusyInterval> expected{busy(9, 0, 12, 0)};
    EXPECT_EQ(CalendarBreak::mergeBusy({busy(9, 0, 12, 0), busy(10, 0, 11, 0)}, from, to), expected);
    EXPECT_EQ(CalendarBreak::mergeBusy({busy(10, 0, 11, 0), busy(9, 0, 12, 0)}, from, to), expected);

    EXPECT_THAT(CalendarBreak::mergeBusy({busy(17, 0, 19, 0), busy(7, 0, 9, 30), busy(9, 30, 10, 0),
                                          busy(12, 0, 12, 0), busy(19, 0, 20, 0), busy(13, 0, 12, 0)},
                                         from, to),
                ElementsAre(busy(9, 0, 10, 0), busy(17, 0, 18, 0)));
}

TEST(CalendarBreak, TriggersOnLoopsOrOnBackToBackMeetingsWithMoreAhead) {
    const std::pair<CalendarBreak::Signals, bool> table[] = {
        {{2, 0, false}, true}, {{1, 2, true}, true}, {{1, 2, false}, false},
        {{1, 1, true}, false}, {{0, 5, true}, true}, {{0, 0, false}, false},
    };
    for (const auto& [signals, triggered] : table) {
        EXPECT_EQ(CalendarBreak::isTriggered(signals), triggered)
            << signals.loopsToday << " " << signals.backToBack << " " << signals.meetingsAhead;
    }
}

TEST(CalendarBreak, TheHoldIsTitledWithAMiddleDot) {
    EXPECT_EQ(CalendarBreak::holdTitle, "step outside \xC2\xB7 the stone");
}

}  // namespace
}  // namespace quillfen
