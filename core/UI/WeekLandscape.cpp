#include "UI/WeekLandscape.h"

#include "Support/LocalCalendar.h"

namespace quillfen::WeekLandscape {

double height(bool observed, bool wentLong, bool fragmented) {
    if (!observed) return 0.08;
    if (wentLong) return fragmented ? 1.0 : 0.72;
    return fragmented ? 0.5 : 0.24;
}

int weekdayIndex(TimePoint now, int daysAgo) {
    // Stepping back whole calendar days moves the weekday by exactly as many, whatever the
    // clock changes on the way, so no date needs forming.
    const int shifted = (LocalCalendar::localTime(now).tm_wday - daysAgo % 7) % 7;
    return shifted < 0 ? shifted + 7 : shifted;
}

std::vector<std::string> weekdayLabels(TimePoint now) {
    static const char* const kNames[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
    std::vector<std::string> labels;
    for (int daysAgo = 6; daysAgo >= 1; --daysAgo) labels.emplace_back(kNames[weekdayIndex(now, daysAgo)]);
    labels.emplace_back("today");
    return labels;
}

}  // namespace quillfen::WeekLandscape
