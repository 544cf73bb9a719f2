#pragma once

#include <optional>
#include <string_view>

#include "Contract/AgentSummary.h"

namespace quillfen::RhythmScore {

// How strained the week is, from 0 to 1. The default weights add up to 1.06, so a week at
// every maximum is clamped to 1.
struct Weights {
    double longAfternoons = 0.52;
    int longAfternoonsSaturate = 4;
    double fragmentedAfternoons = 0.18;
    int fragmentedSaturate = 3;
    double todayLoad = 0.22;
    double todayBand = 0.14;

    static Weights defaults() { return {}; }
    bool operator==(const Weights&) const = default;
};

// Today's calendar as the calendar reader counts it.
struct CalendarDensity {
    int backToBack = 0;
    int busyMinutes = 0;

    // At least 2 back-to-back meetings or at least 180 busy minutes.
    bool isHeavyDay() const { return backToBack > 1 || busyMinutes > 179; }
    bool operator==(const CalendarDensity&) const = default;
};

enum class Band { healthy, building, heavy, ceiling };

std::string_view toString(Band);
std::optional<Band> bandFrom(std::string_view);

// Healthy below 0.25, building below 0.6, heavy below 0.85, ceiling from there.
Band bandOf(double score);

// From this score an ask left unanswered makes the desktop pane aggravated.
inline constexpr double aggravationFloor = 0.6;
inline constexpr double calendarHeavyDayBump = 0.12;

double of(const AgentSummary& summary, const Weights& weights = Weights::defaults());

// With the heavy-day bump when a calendar density is given and the day is heavy.
double of(const AgentSummary& summary, const std::optional<CalendarDensity>& calendar,
          const Weights& weights = Weights::defaults());

}  // namespace quillfen::RhythmScore
