#include "Feedback/SparingGovernor.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(SparingGovernor, AddsMinutesForTheNewestRunThatDidNotLand) {
    using O = NudgeOutcome;
    const struct {
        std::vector<O> newestFirst;
        SparingGovernor::Config config;
        int expected;
    } cases[] = {
        {{}, {}, 0},
        {{O::ignored, O::unknown, O::landed, O::ignored}, {}, 40},
        {{O::landed, O::ignored}, {}, 0},
        {{O::ignored, O::ignored, O::ignored}, {}, 60},
        {{O::ignored, O::unknown, O::ignored, O::ignored, O::ignored}, {}, 90},
        {{O::ignored, O::ignored, O::ignored, O::ignored, O::ignored, O::ignored, O::ignored}, {}, 90},
        {{O::ignored, O::ignored, O::ignored}, {20, 90, 2}, 40},
        {{O::unknown, O::unknown}, {15, 100, 5}, 30},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SparingGovernor::extraGapMinutes(c.newestFirst, c.config), c.expected);
}

}  // namespace
}  // namespace quillfen
