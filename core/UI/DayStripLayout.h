#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Signals/RhythmStrip.h"

// Where today's runs, the hours under them and the run lengths go on the mirror's strip.
// Positions are points from the strip's leading edge.
namespace quillfen::DayStripLayout {

// 45m, 1h, 1h 1m; also the developer window's spans.
std::string runLabel(std::int64_t minutes);

// 6a, 12p, 11p, 12a.
std::string hourLabel(int hour);

// No hour label starts closer than this to the trailing edge, so the last one stays whole.
inline constexpr double kLabelRoom = 22;

struct AxisMark {
    int hour = 0;
    std::string label;
    double x = 0;
    bool operator==(const AxisMark&) const = default;
};

// Every fourth hour from the window's whole start hour up to and including its whole end hour.
std::vector<AxisMark> axisMarks(double dayStartHour, double dayEndHour, double width);

struct Bar {
    double x = 0;
    double width = 0;
    double opacity = 0;  // of the moss fill
    bool late = false;
    bool operator==(const Bar&) const = default;
};

// One bar a run, in order, at least 3 points wide; busier runs are drawn darker.
std::vector<Bar> bars(const RhythmStrip& strip, double width);

}  // namespace quillfen::DayStripLayout
