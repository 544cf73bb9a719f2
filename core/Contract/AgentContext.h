#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Contract/AgentSummary.h"
#include "Decision/BreakpointSensor.h"
#include "Feedback/NudgeOutcome.h"
#include "Signals/SignalSample.h"

namespace quillfen {

// The richer document of an explicit ask: the weekly summary unchanged, plus today's detail,
// the week's day marks, optional calendar, AI-tool and device facts, the last breakpoint and
// how recent nudges ended. Like the summary it holds only counts, minutes, flags and
// enumeration words, never names, titles, addresses or timestamps.
struct AgentContext {
    static constexpr int currentSchemaVersion = 2;

    struct TodayDetail {
        PartOfDay partOfDay = PartOfDay::night;
        std::int64_t continuousMinutesNow = 0;
        std::int64_t longestStretchMinutes = 0;
        std::int64_t appSwitchesLastHour = 0;
        AttentionState attentionState = AttentionState::idle;
        Load load = Load::low;
        // The local hour at which today's activity began.
        std::optional<double> activeSinceHour;
        bool lateNight = false;
        bool operator==(const TodayDetail&) const = default;
    };

    struct CalendarContext {
        std::int64_t meetingsToday = 0;
        std::int64_t busyMinutesToday = 0;
        std::int64_t backToBack = 0;
        std::optional<std::int64_t> nextInMinutes;
        bool operator==(const CalendarContext&) const = default;
    };

    struct AIContext {
        std::int64_t sessionsToday = 0;
        std::optional<std::int64_t> lastActiveMinutesAgo;
        bool operator==(const AIContext&) const = default;
    };

    struct DeviceContext {
        bool onCall = false;
        bool audioPlaying = false;
        bool onBattery = false;
        DisplayState displayState = DisplayState::awake;
        bool operator==(const DeviceContext&) const = default;
    };

    // How one recent nudge ended. Whether it was taken follows from the outcome alone.
    struct NudgeResponse {
        std::int64_t daysAgo = 0;
        PartOfDay partOfDay = PartOfDay::night;
        NudgeOutcome outcome = NudgeOutcome::unknown;

        bool taken() const { return outcome == NudgeOutcome::landed; }
        bool operator==(const NudgeResponse&) const = default;
    };

    // The one way the document fails to encode: a number that is not finite.
    enum class EncodingError { nonFiniteNumber };

    // Why a document must not leave the process.
    using Refusal = std::variant<AgentSummary::LeakError, EncodingError>;

    // Stored so that a reader can tell the schema; a document made here always has 2.
    int schemaVersion = currentSchemaVersion;
    AgentSummary summary;
    std::vector<AgentSummary::DayMark> week;
    TodayDetail today;
    std::optional<CalendarContext> calendar;
    std::optional<AIContext> aiTools;
    std::optional<DeviceContext> device;
    BreakpointKind breakpoint = BreakpointKind::none;
    // Newest first.
    std::vector<NudgeResponse> recentNudges;

    AgentContext() = default;
    AgentContext(AgentSummary summary, std::vector<AgentSummary::DayMark> week, TodayDetail today,
                 std::optional<CalendarContext> calendar, std::optional<AIContext> aiTools,
                 std::optional<DeviceContext> device, BreakpointKind breakpoint,
                 std::vector<NudgeResponse> recentNudges);

    // The wire form: compact, keys sorted at every level, absent optionals left out. No value
    // when a number is not finite.
    std::optional<std::string> jsonString() const;

    // Nothing when the document may leave the process. The summary's own check runs first and
    // its verdict stands; then the whole document must encode and carry no activity word. The
    // summary's minute and signal-key rule is not applied to the whole: the context carries
    // minute counts and a switch count by design.
    [[nodiscard]] std::optional<Refusal> assertNoRawLeak() const;

    // Whether a document text names an application, a site or an address, or a title or
    // keystroke. A search that cannot run counts as a find.
    static bool activityTokenIn(std::string_view documentText);

    bool operator==(const AgentContext&) const = default;
};

std::string_view toString(AgentContext::EncodingError);
// The error's bare case name: rawActivityToken, rawMinuteOrSignalKey or nonFiniteNumber.
std::string_view toString(const AgentContext::Refusal&);

// JSON forms with keys equal to the field names; "taken" is written from the outcome. The
// reader needs every key but "calendar", "aiTools", "device", "activeSinceHour", "nextInMinutes"
// and "lastActiveMinutesAgo" (a null reads as absent), takes "schemaVersion" as stored, and
// throws nlohmann::json::exception on a missing key, a wrong type or an unknown word.
void to_json(nlohmann::json&, const AgentContext&);
void from_json(const nlohmann::json&, AgentContext&);

// Non-throwing readers: no value when the document does not read.
std::optional<AgentContext> agentContextFromJson(const nlohmann::json&);
std::optional<AgentContext> agentContextFromJsonText(std::string_view text);

}  // namespace quillfen
