#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Config/AppConfig.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// The kind of person a summary is built for; every caller builds with `work`.
enum class AgentProfile { work, adhd };

enum class PartOfDay { night, morning, afternoon, evening };

// The longest unbroken screen stretch of today, in four bands.
enum class ScreenBand { under1h, oneToTwo, twoToThree, overThree };

inline constexpr AgentProfile kAllAgentProfiles[] = {AgentProfile::work, AgentProfile::adhd};
inline constexpr PartOfDay kAllPartsOfDay[] = {PartOfDay::night, PartOfDay::morning, PartOfDay::afternoon,
                                               PartOfDay::evening};
inline constexpr ScreenBand kAllScreenBands[] = {ScreenBand::under1h, ScreenBand::oneToTwo,
                                                 ScreenBand::twoToThree, ScreenBand::overThree};

std::string_view toString(AgentProfile);
std::string_view toString(PartOfDay);
std::string_view toString(ScreenBand);
std::optional<AgentProfile> agentProfileFrom(std::string_view);
std::optional<PartOfDay> partOfDayFrom(std::string_view);
std::optional<ScreenBand> screenBandFrom(std::string_view);

// Night below 6 and from 21, morning 6 to 11, afternoon 12 to 17, evening 18 to 20.
PartOfDay partOfDayOf(int hour);
// Under an hour below 60 minutes (negative included), then 60, 120 and 180 start the next bands.
ScreenBand screenBandOf(std::int64_t minutes);

// The abstracted week the system reasons about. It holds counts, bands, enumeration words
// and booleans only, never raw seconds, switch counts, names or timestamps, so that it can
// leave the machine as a document for a mind.
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

    // One day of the week breakdown; daysAgo 0 is today.
    struct DayMark {
        int daysAgo = 0;
        bool isToday = false;
        bool observed = false;
        bool wentLong = false;
        bool fragmented = false;
        bool operator==(const DayMark&) const = default;
    };

    struct BuildOptions {
        // The window is windowDays × 86400 seconds back from now, not calendar days.
        int windowDays = 7;
        int longAfternoonMinutes = 120;
        int afternoonStartHour = 12;  // inclusive
        int afternoonEndHour = 18;    // exclusive
        MapperThresholds mapper;

        static BuildOptions defaults() { return {}; }
        bool operator==(const BuildOptions&) const = default;
    };

    enum class LeakError {
        rawActivityToken,      // an application, site or web word
        rawMinuteOrSignalKey,  // a raw signal key or a minute count
    };

    int schemaVersion = currentSchemaVersion;
    AgentProfile profile = AgentProfile::work;
    Week summary;
    std::optional<bool> skyConfirmedGood;

    AgentSummary() = default;
    AgentSummary(AgentProfile profile, Week summary, std::optional<bool> skyConfirmedGood)
        : profile(profile), summary(summary), skyConfirmedGood(skyConfirmedGood) {}

    // Built from the signal log's samples in stored order. Never fails; a negative nudge
    // count is taken as 0.
    static AgentSummary build(const std::vector<SignalSample>& samples, TimePoint now, AgentProfile profile,
                              int nudgesAlreadyThisWeek, std::optional<bool> skyConfirmedGood,
                              const BuildOptions& options = BuildOptions::defaults());

    // One mark per calendar day of the window, today first.
    static std::vector<DayMark> weekBreakdown(const std::vector<SignalSample>& samples, TimePoint now,
                                              const BuildOptions& options = BuildOptions::defaults());

    // The summary document: compact JSON, keys sorted at every level, absent optionals left out.
    std::string jsonString() const;

    // Nothing when the document may leave the process; otherwise why it must not.
    [[nodiscard]] std::optional<LeakError> assertNoRawLeak() const;

    // The leak check's search over any document text.
    static std::optional<LeakError> rawLeakIn(std::string_view documentText);

    bool operator==(const AgentSummary&) const = default;
};

// The error's textual form, its bare case name.
std::string_view toString(AgentSummary::LeakError);

// JSON forms with keys equal to the field names. The readers throw nlohmann::json::exception
// on a missing required key, a wrong type or an unknown enumeration value; a today object
// without "wentLong" reads as false.
void to_json(nlohmann::json&, const AgentProfile&);
void from_json(const nlohmann::json&, AgentProfile&);
void to_json(nlohmann::json&, const PartOfDay&);
void from_json(const nlohmann::json&, PartOfDay&);
void to_json(nlohmann::json&, const ScreenBand&);
void from_json(const nlohmann::json&, ScreenBand&);
void to_json(nlohmann::json&, const AgentSummary&);
void from_json(const nlohmann::json&, AgentSummary&);
void to_json(nlohmann::json&, const AgentSummary::DayMark&);
void from_json(const nlohmann::json&, AgentSummary::DayMark&);

// Non-throwing readers: no value when the document does not read.
std::optional<AgentSummary> agentSummaryFromJson(const nlohmann::json&);
std::optional<AgentSummary> agentSummaryFromJsonText(std::string_view text);
std::optional<AgentSummary::DayMark> dayMarkFromJson(const nlohmann::json&);

}  // namespace quillfen
