#include "UI/WeekLandscape.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Stands in for the week breakdown's day mark: the landscape reads only these three.
struct Mark {
    bool observed = false;
    bool wentLong = false;
    bool fragmented = false;
};

constexpr Mark kQuiet{true, false, false};
constexpr Mark kLong{true, true, false};
constexpr Mark kScattered{true, false, true};
constexpr Mark kBoth{true, true, true};
constexpr Mark kUnseen{false, true, true};

TEST(WeekLandscape, EachDayRisesWithHowItWent) {
    auto heights = WeekLandscape::ridges(std::vector{kUnseen, kQuiet, kScattered, kLong, kBoth}, 5);
    // Newest first in, oldest first out.
    EXPECT_THAT(heights, ElementsAre(1.0, 0.72, 0.5, 0.24, 0.08));
}

TEST(WeekLandscape, TakesTheNewestDaysAndFillsMissingOldDaysAsUnobserved) {
    EXPECT_THAT(WeekLandscape::ridges(std::vector<Mark>{}, 7),
                ElementsAre(0.08, 0.08, 0.08, 0.08, 0.08, 0.08, 0.08));

    std::vector<Mark> ten(10, kQuiet);
    ten[0] = kBoth;       // today
    ten[6] = kLong;       // six days ago
    ten[7] = kScattered;  // beyond the seven
    EXPECT_THAT(WeekLandscape::ridges(ten, 7), ElementsAre(0.72, 0.24, 0.24, 0.24, 0.24, 0.24, 1.0));

    EXPECT_THAT(WeekLandscape::ridges(std::vector{kLong, kScattered}, 4), ElementsAre(0.08, 0.08, 0.5, 0.72));
}

TEST(WeekLandscape, ANoneOrNegativeCountGivesNoRidges) {
    EXPECT_THAT(WeekLandscape::ridges(std::vector{kLong}, 0), IsEmpty());
    EXPECT_THAT(WeekLandscape::ridges(std::vector{kLong}, -3), IsEmpty());
}

TEST(WeekLandscape, LabelsTheSixDaysBeforeTodayByTheirLocalWeekday) {
    test::ScopedTimeZone tz("Europe/Berlin");
    // Wednesday 00:30 in Berlin is still Tuesday in UTC.
    const TimePoint wednesday = test::at("2026-03-03T23:30:00Z");
    EXPECT_THAT(WeekLandscape::weekdayLabels(wednesday), ElementsAre("thu", "fri", "sat", "sun", "mon", "tue", "today"));
    EXPECT_EQ(WeekLandscape::weekdayIndex(wednesday, 0), 3);
    EXPECT_EQ(WeekLandscape::weekdayIndex(wednesday, 3), 0);
    EXPECT_EQ(WeekLandscape::weekdayIndex(wednesday, 10), 0);
    EXPECT_EQ(WeekLandscape::weekdayIndex(wednesday, -1), 4);
    // The clocks go forward in the night to Sunday 29 March; Monday looks back across it.
    EXPECT_EQ(WeekLandscape::weekdayIndex(test::at("2026-03-30T00:15:00+02:00"), 1), 0);
}

}  // namespace
}  // namespace quillfen
