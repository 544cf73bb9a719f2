#include "UI/DayStripLayout.h"

#include <algorithm>
#include <cmath>

namespace quillfen::DayStripLayout {

namespace {

constexpr double kMinimumBarWidth = 3;

// An hour of the strip's window as a whole number toward zero. The window is a day or two at
// most; anything past a few days either way, or not a number, is held there.
int wholeHour(double hour) {
    if (std::isnan(hour)) return 0;
    return static_cast<int>(std::clamp(hour, -240.0, 240.0));
}

}  // namespace

std::string runLabel(std::int64_t minutes) {
    if (minutes <= 59) return std::to_string(minutes) + "m";
    const std::int64_t hours = minutes / 60;
    const std::int64_t rest = minutes % 60;
    if (rest == 0) return std::to_string(hours) + "h";
    return std::to_string(hours) + "h " + std::to_string(rest) + "m";
}

std::string hourLabel(int hour) {
    const int r = hour % 24;
    if (r == 0) return "12a";
    if (r == 12) return "12p";
    if (r >= 13) return std::to_string(r - 12) + "p";
    return std::to_string(r) + "a";
}

std::vector<AxisMark> axisMarks(double dayStartHour, double dayEndHour, double width) {
    const int start = wholeHour(dayStartHour);
    const int end = wholeHour(dayEndHour);
    const double span = std::max(end - start, 1);
    std::vector<AxisMark> marks;
    for (int hour = start; hour <= end; hour += 4) {
        const double x = std::min(std::max((hour - start) / span * width, 0.0), width - kLabelRoom);
        marks.push_back({hour, hourLabel(hour), x});
    }
    return marks;
}

std::vector<Bar> bars(const RhythmStrip& strip, double width) {
    std::vector<Bar> result;
    result.reserve(strip.runs.size());
    for (const RhythmStrip::Run& run : strip.runs) {
        const double busy = std::min(static_cast<double>(std::max<std::int64_t>(run.switchesPerHour, 0)) / 40, 1.0);
        result.push_back({run.start * width, std::max((run.end - run.start) * width, kMinimumBarWidth),
                          0.3 + 0.45 * busy, run.late});
    }
    return result;
}

}  // namespace quillfen::DayStripLayout
