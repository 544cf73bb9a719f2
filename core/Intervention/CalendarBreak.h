#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "Support/Clock.h"

// Where a short hold goes on a heavy day: the trigger and the gap search. Reads no calendar
// and writes nothing; the scheduler does both.
namespace quillfen::CalendarBreak {

struct Config {
    int loopsTrigger = 2;
    int backToBackTrigger = 2;
    int holdMinutes = 10;
    int minGapMinutes = 15;
    int workingStartHour = 9;
    int workingEndHour = 18;
    // The hold never starts sooner than this after the present moment.
    int leadMinutes = 5;

    static Config defaults() { return {}; }
    bool operator==(const Config&) const = default;
};

struct Signals {
    int loopsToday = 0;
    int backToBack = 0;
    bool meetingsAhead = false;
    bool operator==(const Signals&) const = default;
};

struct BusyInterval {
    TimePoint start;
    TimePoint end;
    bool operator==(const BusyInterval&) const = default;
};

struct Placement {
    TimePoint start;
    TimePoint end;
    bool operator==(const Placement&) const = default;
};

inline constexpr std::string_view holdTitle = "step outside · the stone";

// Two loops today, or enough back-to-back meetings with more still to come.
bool isTriggered(const Signals& trigger, const Config& config = Config::defaults());

// Today's busy times inside [clampStart, clampEnd], sorted, with overlapping and touching
// intervals joined. Empty and inverted intervals are dropped.
std::vector<BusyInterval> mergeBusy(const std::vector<BusyInterval>& busy, TimePoint clampStart,
                                    TimePoint clampEnd);

// The first free gap of at least `minGapMinutes` in today's working window (local time,
// from TZ), no sooner than `leadMinutes` from now; the hold starts at the gap's very
// beginning. None when the window is over or no gap is long enough.
std::optional<Placement> placement(const std::vector<BusyInterval>& busy, TimePoint now,
                                   const Config& config = Config::defaults());

}  // namespace quillfen::CalendarBreak
