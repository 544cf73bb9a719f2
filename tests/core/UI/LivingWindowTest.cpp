#include "UI/LivingWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillfen {
namespace {

using LivingWindow::Geometry;
using LivingWindow::geometry;

void expectGeometry(const Geometry& actual, const Geometry& expected) {
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
    EXPECT_NEAR(actual.opacity, expected.opacity, 1e-9);
    EXPECT_NEAR(actual.right, expected.right, 1e-9);
    EXPECT_NEAR(actual.bottom, expected.bottom, 1e-9);
    EXPECT_NEAR(actual.wake, expected.wake, 1e-9);
    EXPECT_NEAR(actual.beingWidth, expected.beingWidth, 1e-9);
    EXPECT_EQ(actual.aggravated, expected.aggravated);
}

const Geometry kAtZero{84, 50.4, 0.52, 16, 16, 0, 36.96, false};
const Geometry kAtOne{208, 124.8, 0.97, 28, 32, 1, 76, false};

class ScoreEnds : public ::testing::TestWithParam<std::pair<double, bool>> {};

TEST_P(ScoreEnds, ScoresBeyondTheRangeOrNotANumberGiveTheGeometryOfTheNearerEnd) {
    auto [score, atOne] = GetParam();
    expectGeometry(geometry(score, false), atOne ? kAtOne : kAtZero);
}

INSTANTIATE_TEST_SUITE_P(LivingWindow, ScoreEnds,
                         ::testing::Values(std::pair{0.0, false}, std::pair{-0.5, false},
                                           std::pair{-std::numeric_limits<double>::infinity(), false},
                                           std::pair{std::numeric_limits<double>::quiet_NaN(), false},
                                           std::pair{1.0, true}, std::pair{1.5, true},
                                           std::pair{std::numeric_limits<double>::infinity(), true}));

TEST(LivingWindow, AggravatedBumpsWidthHeightOpacityAndTheStoneAndWakesItFully) {
    const double width = 84 + std::pow(0.5, 1.7) * 124 + 8;
    expectGeometry(geometry(0.5, true), {width, width * 0.6, 0.795, 22, 24, 1, width * 0.44, true});
    EXPECT_NEAR(width, 130.17, 0.005);
    EXPECT_NEAR(width * 0.6, 78.10, 0.005);

    expectGeometry(geometry(0, true), {92, 55.2, 0.57, 16, 16, 1, 40.48, true});
    // The cap holds against the bump: 0.97, not 1.02.
    expectGeometry(geometry(1, true), {216, 129.6, 0.97, 28, 32, 1, 76, true});
}

TEST(LivingWindow, TheStoneWakesFromThirtyFivePercentOfTheScore) {
    const std::pair<double, double> cases[] = {
        {0.3499, 0}, {0.35, 0}, {0.675, 0.5}, {0.83, 0.7384615384615385}};
    for (auto [score, wake] : cases) {
        EXPECT_NEAR(geometry(score, false).wake, wake, 1e-9) << score;
        EXPECT_EQ(geometry(score, true).wake, 1.0) << score;
    }
}

TEST(LivingWindow, TheDrawnStoneStopsGrowingAtSeventySixPoints) {
    // 76 / 0.44 ≈ 172.7 points of pane, reached near score 0.821.
    EXPECT_LT(geometry(0.82, false).beingWidth, 76);
    EXPECT_GT(geometry(0.82, false).beingWidth, 75.5);
    EXPECT_EQ(geometry(0.83, false).beingWidth, 76);
}

}  // namespace
}  // namespace quillfen
