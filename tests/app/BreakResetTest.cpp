#include "BreakReset.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "support/FixedClock.h"

namespace quillfen {
namespace {

using test::at;

struct BreakCase {
    const char* name;
    double gap, lastIdle, idle, offAwake;
    bool broken;
};

void PrintTo(const BreakCase& c, std::ostream* os) {
    *os << c.name;
}

class BreakResetRule : public ::testing::TestWithParam<BreakCase> {};

TEST_P(BreakResetRule, EndsTheStretchExactlyWhenACauseHolds) {
    const auto& c = GetParam();
    EXPECT_EQ(BreakReset::isRealBreak(c.gap, c.lastIdle, c.idle, c.offAwake, 180), c.broken) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    BreakGap180, BreakResetRule,
    ::testing::Values(BreakCase{"steady work", 60, 0, 0, 0, false},
                      BreakCase{"gap of exactly the break gap", 180, 0, 0, 0, false},
                      BreakCase{"gap just over the break gap", 180.5, 0, 0, 0, true},
                      BreakCase{"off just under the break gap", 60, 0, 0, 179.9, false},
                      BreakCase{"off for exactly the break gap", 60, 0, 0, 180, true},
                      BreakCase{"idle still growing past the gap", 60, 200, 260, 0, false},
                      BreakCase{"back from an idle break", 60, 200, 5, 0, true},
                      BreakCase{"back after exactly the break gap idle", 60, 180, 10, 0, true},
                      BreakCase{"short pause and back", 60, 179, 3, 0, false},
                      BreakCase{"idle unchanged at the gap", 60, 180, 180, 0, false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (auto& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

TEST(BreakResetStretch, IsZeroWhileAwayAndNeverNegative) {
    TimePoint start = at("2026-01-05T14:00:00Z");
    TimePoint now = at("2026-01-05T14:10:00Z");
    EXPECT_DOUBLE_EQ(BreakReset::continuousActiveSeconds(start, now, 0, std::nullopt, 180), 600);
    EXPECT_DOUBLE_EQ(BreakReset::continuousActiveSeconds(start, now, 179, DisplayState::awake, 180), 600);
    EXPECT_DOUBLE_EQ(BreakReset::continuousActiveSeconds(start, now, 180, DisplayState::awake, 180), 0);
    EXPECT_DOUBLE_EQ(BreakReset::continuousActiveSeconds(start, now, 0, DisplayState::displayAsleep, 180), 0);
    EXPECT_DOUBLE_EQ(BreakReset::continuousActiveSeconds(start, now, 0, DisplayState::locked, 180), 0);
    EXPECT_DOUBLE_EQ(BreakReset::continuousActiveSeconds(now, start, 0, DisplayState::awake, 180), 0);
}

}  // namespace
}  // namespace quillfen
