#include "Intervention/CalendarBreak.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "Support/LocalCalendar.h"

namespace quillfen::CalendarBreak {

namespace {

std::chrono::seconds minutes(int count) {
    return std::chrono::seconds(static_cast<std::int64_t>(count) * 60);
}

}  // namespace

bool isTriggered(const Signals& signals, const Config& config) {
    if (signals.loopsToday >= config.loopsTrigger) return true;
    return signals.backToBack >= config.backToBackTrigger && signals.meetingsAhead;
}

std::vector<BusyInterval> mergeBusy(const std::vector<BusyInterval>& busy, TimePoint clampStart,
                                    TimePoint clampEnd) {
    std::vector<BusyInterval> clamped;
    clamped.reserve(busy.size());
    for (const auto& interval : busy) {
        BusyInterval c{std::max(interval.start, clampStart), std::min(interval.end, clampEnd)};
        if (c.start < c.end) clamped.push_back(c);
    }
    std::stable_sort(clamped.begin(), clamped.end(),
                     [](const BusyInterval& a, const BusyInterval& b) { return a.start < b.start; });

    std::vector<BusyInterval> merged;
    for (const auto& interval : clamped) {
        if (merged.empty() || interval.start > merged.back().end) {
            merged.push_back(interval);
        } else {
            merged.back().end = std::max(merged.back().end, interval.end);
        }
    }
    return merged;
}

std::optional<Placement> placement(const std::vector<BusyInterval>& busy, TimePoint now,
                                   const Config& config) {
    // Working hours are wall-clock hours of today's local date.
    const std::tm today = LocalCalendar::localTime(now);
    const int year = today.tm_year + 1900;
    const int month = today.tm_mon + 1;
    const TimePoint workStart = LocalCalendar::fromLocal(year, month, today.tm_mday, config.workingStartHour);
    const TimePoint workEnd = LocalCalendar::fromLocal(year, month, today.tm_mday, config.workingEndHour);

    const auto hold = minutes(config.holdMinutes);
    const auto minGap = minutes(config.minGapMinutes);
    TimePoint cursor = std::max(now + minutes(config.leadMinutes), workStart);
    if (!(cursor < workEnd)) return std::nullopt;

    for (const auto& interval : mergeBusy(busy, cursor, workEnd)) {
        if (interval.start > cursor && interval.start - cursor >= minGap)
            return Placement{cursor, cursor + hold};
        cursor = std::max(cursor, interval.end);
        if (!(cursor < workEnd)) return std::nullopt;
    }
    if (workEnd - cursor >= minGap) return Placement{cursor, cursor + hold};
    return std::nullopt;
}

}  // namespace quillfen::CalendarBreak
