#include "UI/WeekLandscape.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace quillfen
