#include "Signals/CalendarReader.h"

#include <gtest/gtest.h>

#include "Support/LocalCalendar.h"
#include "support/FakeEventStore.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using LocalCalendar::fromLocal;

TimePoint on5th(int hour, int minute = 0, int second = 0) {
    return fromLocal(2026, 1, 5, hour, minute, second);
}

struct Meeting {
    TimePoint start, end;
    bool allDay = false;
};

TEST(CalendarReader, CountsTodaysMeetingsBusyTimeAndNeighbours) {
    test::ScopedTimeZone tz("Europe/Berlin");
    struct Case {
        const char* name;
        std::vector<Meeting> meetings;
        TimePoint now;
        CalendarSignal expected;
    };
    const std::vector<Case> cases = {
        {"five minutes apart",
         {{on5th(10, 5), on5th(11)}, {on5th(9), on5th(10)}},
         on5th(8),
         {true, 2, 115, 1, 60}},
        {"six minutes apart",
         {{on5th(9), on5th(10)}, {on5th(10, 6), on5th(11)}},
         on5th(8),
         {true, 2, 114, 0, 60}},
        {"overlapping",
         {{on5th(9), on5th(10)}, {on5th(9, 30), on5th(10, 30)}},
         on5th(8),
         {true, 2, 120, 1, 60}},
        {"an all-day event changes nothing",
         {{on5th(9), on5th(10)}, {on5th(0), fromLocal(2026, 1, 6), true}},
         on5th(8),
         {true, 1, 60, 0, 60}},
        {"next after one under way",
         {{on5th(10), on5th(11)}, {on5th(14), on5th(15)}},
         on5th(10, 30),
         {true, 2, 120, 0, 210}},
        {"nothing later",
         {{on5th(10), on5th(11)}, {on5th(14), on5th(15)}},
         on5th(14, 30),
         {true, 2, 120, 0, std::nullopt}},
        {"starting in 59 seconds", {{on5th(10, 0, 59), on5th(10, 30)}}, on5th(10), {true, 1, 29, 0, 0}},
        {"a whole night counts from yesterday",
         {{fromLocal(2026, 1, 4, 22), on5th(2)}, {on5th(23, 30), fromLocal(2026, 1, 6, 0, 30)}},
         on5th(12),
         {true, 2, 300, 0, 690}},
        {"tomorrow and yesterday are not today",
         {{fromLocal(2026, 1, 4, 9), fromLocal(2026, 1, 4, 10)},
          {fromLocal(2026, 1, 6), fromLocal(2026, 1, 6, 1)}},
         on5th(12),
         {true, 0, 0, 0, std::nullopt}},
        {"an empty calendar", {}, on5th(12), {true, 0, 0, 0, std::nullopt}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeEventStore store;
        for (const auto& m : c.meetings)
            store.add(m.start, m.end, m.allDay);
        EXPECT_EQ(CalendarReader::read(store, c.now), c.expected);
    }
}

TEST(CalendarReader, AsksForAccessAndReadsOnlyWhenGranted) {
    test::ScopedTimeZone tz("Europe/Berlin");
    for (bool grant : {true, false}) {
        SCOPED_TRACE(grant);
        auto store = std::make_shared<test::FakeEventStore>();
        store->access = CalendarAccess::notDetermined;
        store->grantOnRequest = grant;
        store->add(on5th(9), on5th(10));
        int calls = 0;
        CalendarSignal got;
        CalendarReader::requestAndRead(store, on5th(8), [&](const CalendarSignal& s) {
            ++calls;
            got = s;
        });
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(store->accessRequests, 1);
        const CalendarSignal expected =
            grant ? CalendarSignal{true, 1, 60, 0, 60} : CalendarSignal{false, 0, 0, 0, std::nullopt};
        EXPECT_EQ(got, expected);
    }
}

}  // namespace
}  // namespace quillfen
