#include "Mind/LocalLine.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(LocalLine, SpeaksOfTheWeeksLongAfternoonsThenInvitesOutside) {
    const std::vector<std::pair<int, std::string>> table = {
        {-2, "Another long stretch at the screen today. Step outside for five."},
        {0, "Another long stretch at the screen today. Step outside for five."},
        {1, "Another long stretch at the screen today. Step outside for five."},
        {2, "Second long afternoon this week. Step outside for five."},
        {7, "Seventh long afternoon this week. Step outside for five."},
        {8, "8th long afternoon this week. Step outside for five."},
        {21, "21th long afternoon this week. Step outside for five."},
    };
    for (const auto& [n, expected] : table) {
        AgentSummary summary;
        summary.summary.longAfternoonsThisWeek = n;
        EXPECT_EQ(LocalLine::line(summary), expected);
    }
}

TEST(LocalLine, OrdinalsAreWordsUpToSevenAndDigitsBeyond) {
    const std::vector<std::pair<std::int64_t, std::string>> table = {
        {1, "first"}, {2, "second"}, {3, "third"},   {4, "fourth"},
        {5, "fifth"}, {6, "sixth"},  {7, "seventh"}, {8, "8th"},
        {0, "0th"},   {-1, "-1th"},  {11, "11th"},   {INT64_MIN, "-9223372036854775808th"}};
    for (const auto& [n, expected] : table)
        EXPECT_EQ(LocalLine::ordinal(n), expected) << n;
}

}  // namespace
}  // namespace quillfen
