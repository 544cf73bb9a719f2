#include "Signals/CalendarReader.h"

#include <gtest/gtest.h>

#include "Support/LocalCalendar.h"
#include "support/FakeEventStore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using LocalCalendar::fromLocal;
using test::januaryLocal;

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
         {{januaryLocal(10, 5), januaryLocal(11)}, {januaryLocal(9), januaryLocal(10)}},
         januaryLocal(8),
         {true, 2, 115, 1, 60}},
        {"six minutes apart",
         {{januaryLocal(9), januaryLocal(10)}, {januaryLocal(10, 6), januaryLocal(11)}},
         januaryLocal(8),
         {true, 2, 114, 0, 60}},
        {"overlapping",
         {{januaryLocal(9), januaryLocal(10)}, {januaryLocal(9, 30), januaryLocal(10, 30)}},
         januaryLocal(8),
         {true, 2, 120, 1, 60}},
        {"an all-day event changes nothing",
         {{januaryLocal(9), januaryLocal(10)}, {januaryLocal(0), fromLocal(2026, 1, 6), true}},
         januaryLocal(8),
         {true, 1, 60, 0, 60}},
        {"next after one under way",
         {{januaryLocal(10), januaryLocal(11)}, {januaryLocal(14), januaryLocal(15)}},
         januaryLocal(10, 30),
         {true, 2, 120, 0, 210}},
        {"nothing later",
         {{januaryLocal(10), januaryLocal(11)}, {januaryLocal(14), januaryLocal(15)}},
         januaryLocal(14, 30),
         {true, 2, 120, 0, std::nullopt}},
        {"starting in 59 seconds",
         {{januaryLocal(10, 0, 59), januaryLocal(10, 30)}},
         januaryLocal(10),
         {true, 1, 29, 0, 0}},
        {"a whole night counts from yesterday",
         {{fromLocal(2026, 1, 4, 22), januaryLocal(2)}, {januaryLocal(23, 30), fromLocal(2026, 1, 6, 0, 30)}},
         januaryLocal(12),
         {true, 2, 300, 0, 690}},
        {"tomorrow and yesterday are not today",
         {{fromLocal(2026, 1, 4, 9), fromLocal(2026, 1, 4, 10)},
          {fromLocal(2026, 1, 6), fromLocal(2026, 1, 6, 1)}},
         januaryLocal(12),
         {true, 0, 0, 0, std::nullopt}},
        {"an empty calendar", {}, januaryLocal(12), {true, 0, 0, 0, std::nullopt}},
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
        store->add(januaryLocal(9), januaryLocal(10));
        int calls = 0;
        CalendarSignal got;
        CalendarReader::requestAndRead(store, januaryLocal(8), [&](const CalendarSignal& s) {
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
