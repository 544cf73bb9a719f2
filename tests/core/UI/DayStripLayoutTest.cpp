#include "UI/DayStripLayout.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(DayStripLayout, WordsRunsAndHours) {
    const std::pair<std::int64_t, const char*> runs[] = {{0, "0m"},   {45, "45m"},     {59, "59m"},   {60, "1h"},
                                                         {61, "1h 1m"}, {119, "1h 59m"}, {120, "2h"}, {135, "2h 15m"}};
    for (const auto& [minutes, label] : runs) EXPECT_EQ(DayStripLayout::runLabel(minutes), label) << minutes;
    const std::pair<int, const char*> hours[] = {{0, "12a"}, {6, "6a"},  {11, "11a"}, {12, "12p"},
                                                 {14, "2p"}, {23, "11p"}, {24, "12a"}, {30, "6a"}};
    for (const auto& [hour, label] : hours) EXPECT_EQ(DayStripLayout::hourLabel(hour), label) << hour;
}

TEST(DayStripLayout, PutsEveryFourthHourAlongTheAxisAndKeepsTheLastOneWhole) {
    using Mark = DayStripLayout::AxisMark;
    EXPECT_EQ(DayStripLayout::axisMarks(6, 24, 360),
              (std::vector<Mark>{{6, "6a", 0}, {10, "10a", 80}, {14, "2p", 160}, {18, "6p", 240}, {22, "10p", 320}}));
    // Narrow: 16/18 of 100 would start the last label 11 points from the edge.
    EXPECT_DOUBLE_EQ(DayStripLayout::axisMarks(6, 24, 100).back().x, 78);
    // Fractions are cut toward zero; an empty window has one label at its start.
    EXPECT_EQ(DayStripLayout::axisMarks(6.9, 6.2, 300), (std::vector<Mark>{{6, "6a", 0}}));
    EXPECT_EQ(DayStripLayout::axisMarks(8, 8, 300).size(), 1u);
}

TEST(DayStripLayout, DrawsEachRunAsItsOwnBarShadedByHowBusyItWas) {
    RhythmStrip strip;
    strip.runs = {{0.0, 1.0, 6, 24, 1080, 0, false},
                  {0.5, 0.5, 15, 15, 1, 20, true},
                  {0.5, 0.6, 15, 16.8, 108, 40, false},
                  {0.6, 0.7, 16.8, 18.6, 108, 400, false}};
    using Bar = DayStripLayout::Bar;
    const std::vector<Bar> bars = DayStripLayout::bars(strip, 300);
    ASSERT_EQ(bars.size(), 4u);
    EXPECT_EQ(bars[0], (Bar{0, 300, 0.3, false}));
    EXPECT_EQ(bars[1], (Bar{150, 3, 0.525, true})) << "a run shorter than 3 points widens from its start";
    EXPECT_DOUBLE_EQ(bars[2].x, 150);
    EXPECT_NEAR(bars[2].width, 30, 1e-9);
    EXPECT_DOUBLE_EQ(bars[2].opacity, 0.75);
    EXPECT_DOUBLE_EQ(bars[3].opacity, 0.75);
    EXPECT_TRUE(DayStripLayout::bars(RhythmStrip{}, 300).empty());
}

}  // namespace
}  // namespace quillfen
