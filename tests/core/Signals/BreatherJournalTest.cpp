#include "Signals/BreatherJournal.h"

#include <gtest/gtest.h>

#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

TEST(BreatherJournal, FiresAreCountedForTodayUpToNowAndForTheWeekPastIt) {
    test::ScopedTimeZone tz("Europe/Berlin");
    test::TempDir dir;
    const auto log = dir.path() / "breather-log.jsonl";
    const TimePoint now = at("2026-01-05T14:00:00+01:00");
    EXPECT_EQ(BreatherJournal::firesToday(log, now), std::nullopt);
    EXPECT_EQ(BreatherJournal::firesThisWeek(log, now), 0);
    EXPECT_EQ(BreatherJournal::fireCount(log), std::nullopt);

    test::writeFile(log, "{\"ts\":\"2025-12-29T13:59:59+01:00\"}\n"   // a week and a second ago
                         "{\"ts\":\"2025-12-29T14:00:00+01:00\"}\n\n"  // exactly a week ago
                         "{\"ts\":\"2026-01-05T00:00:00+01:00\"}\n"
                         "   \n"
                         "{\"ts\":\"2026-01-05T11:30:00+01:00\"}\n"
                         "{\"ts\":\"2026-01-05T14:00:01+01:00\"}\n"  // a second after now
                         "{\"ts\":7}");
    EXPECT_EQ(BreatherJournal::firesToday(log, now),
              (BreatherJournal::FiresToday{2, at("2026-01-05T11:30:00+01:00")}));
    EXPECT_EQ(BreatherJournal::firesThisWeek(log, now), 4);
    // Every non-empty line is a fire for the import, whatever it holds.
    EXPECT_EQ(BreatherJournal::fireCount(log), 7);
}

}  // namespace
}  // namespace quillfen
