#pragma once

#include <optional>

#include "Signals/SignalSample.h"

namespace quillfen {

enum class AgentProfile { work, adhd };
enum class PartOfDay { night, morning, afternoon, evening };
enum class ScreenBand { under1h, oneToTwo, twoToThree, overThree };

// Below 6 and from 21 night, 6 to 11 morning, 12 to 17 afternoon, 18 to 20 evening.
PartOfDay partOfDayOf(int hour);
// Below 60 minutes (negative included) under1h, below 120 oneToTwo, below 180 twoToThree.
ScreenBand screenBandOf(int minutes);

// The abstracted picture of the user's week: no raw numbers, names or times, so it may leave
// the machine.
struct AgentSummary {
    static constexpr int currentSchemaVersion = 1;

    struct Today {
        PartOfDay partOfDay = PartOfDay::night;
        ScreenBand continuousScreenBand = ScreenBand::under1h;
        AttentionState attentionState = AttentionState::idle;
        Load load = Load::low;
        bool wentLong = false;
        bool operator==(const Today&) const = default;
    };

    struct Week {
        int daysObserved = 0;
        int longAfternoonsThisWeek = 0;
        int fragmentedAfternoonsThisWeek = 0;
        Today today;
        int nudgesAlreadyThisWeek = 0;
        bool operator==(const Week&) const = default;
    };

    struct DayMark {
        int daysAgo = 0;
        bool isToday = false;
        bool observed = false;
        bool wentLong = false;
        bool fragmented = false;
        bool operator==(const DayMark&) const = default;
    };

    int schemaVersion = currentSchemaVersion;
    AgentProfile profile = AgentProfile::work;
    Week summary;
    std::optional<bool> skyConfirmedGood;
    bool operator==(const AgentSummary&) const = default;
};

}  // namespace quillfen
