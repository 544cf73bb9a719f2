#include <gtest/gtest.h>

#include "Onboarding/InterruptBoundary.h"

namespace quillfen {
namespace {

TEST(InterruptBoundary, AStoredValueCountsOnlyWhenItIsExactlyARawValue) {
    using B = InterruptBoundary;
    const std::pair<std::optional<std::string>, B> cases[] = {
        {std::nullopt, B::effortStopsChanging}, {"", B::effortStopsChanging},
        {"OnlyWhenAsked", B::effortStopsChanging}, {"quiet", B::effortStopsChanging},
        {"onlyWhenAsked", B::onlyWhenAsked},      {"unmistakable", B::unmistakable},
    };
    for (const auto& [raw, expected] : cases)
        EXPECT_EQ(InterruptBoundaries::stored(raw), expected) << raw.value_or("(none)");
}

TEST(InterruptBoundary, RewritesOnlyTheFireAfterMinutesAndTheDailyCap) {
    const DeciderThresholds base{95, 5, 6.5, 21.0, 170};
    const std::tuple<InterruptBoundary, int, int> cases[] = {
        {InterruptBoundary::unmistakable, 150, 1},
        {InterruptBoundary::effortStopsChanging, 120, 2},
        {InterruptBoundary::onlyWhenAsked, 95, 0},
    };
    for (const auto& [boundary, fireAfter, cap] : cases)
        EXPECT_EQ(InterruptBoundaries::thresholds(boundary, base), (DeciderThresholds{fireAfter, cap, 6.5, 21.0, 170}));
}

}  // namespace
}  // namespace quillfen
