#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Config/AppConfig.h"
#include "Signals/EventStore.h"
#include "Sky/LocationAuthorization.h"

namespace quillfen {

// One local trace of the user's work that the first run shows, without reading any of it.
struct WorkSource {
    class Presence {
    public:
        enum class Kind { needsCompanion, found, notFound };

        // The trace needs a companion that is not installed; `text` says which.
        static Presence needsCompanion(std::string text) { return {Kind::needsCompanion, std::move(text)}; }
        static Presence found() { return {Kind::found, {}}; }
        static Presence notFound() { return {Kind::notFound, {}}; }

        Kind kind() const { return kind_; }
        // "found", "not here yet", or the companion's sentence itself.
        std::string_view word() const;

        bool operator==(const Presence&) const = default;

    private:
        Presence(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
        Kind kind_;
        std::string text_;
    };

    std::string id;
    std::string name;
    std::string reads;
    Presence presence = Presence::notFound();

    bool operator==(const WorkSource&) const = default;
};

namespace WorkSourceRegistry {

// Relative to the user's home folder.
inline constexpr std::string_view claudeProjectsPath = ".claude/projects";
inline constexpr std::string_view codexSessionsPath = ".codex/sessions";
inline constexpr std::string_view codexEventsPath = ".ostrel/codex-events.jsonl";
inline constexpr std::string_view browserRhythmPath = ".ostrel/browser-rhythm.jsonl";

// Whether something exists at a path relative to the user's home folder.
using Exists = std::function<bool(std::string_view homeRelativePath)>;

// Claude Code, Codex and the browser rhythm, in that order. `exists` is asked once for each
// path it needs, in that order, and about the Codex events file only when there are no Codex
// sessions; the registry itself touches no file.
std::vector<WorkSource> sources(const Exists& exists);

}  // namespace WorkSourceRegistry

// Context the user may allow on top of the work sources.
struct ContextGrant {
    std::string_view id;
    std::string_view name;
    std::string_view reads;

    static const ContextGrant calendar;
    static const ContextGrant weather;
    static const ContextGrant all[2];

    bool operator==(const ContextGrant&) const = default;
};

inline constexpr ContextGrant ContextGrant::calendar{
    "calendar", "Calendar rhythm",
    "Meeting count, busy minutes, and free gaps. Never titles, attendees, notes, or event contents."};
inline constexpr ContextGrant ContextGrant::weather{
    "weather", "Weather nearby",
    "Rough location, reduced to about a kilometre, to know whether outside is inviting right now."};
inline constexpr ContextGrant ContextGrant::all[2] = {ContextGrant::calendar, ContextGrant::weather};

enum class ContextGrantState { notAsked, allowed, declined };

// "Allow" doubles as the label of the control that asks; the other two describe a state.
std::string_view word(ContextGrantState);

// What the grants read when the onboarding opens. A grant reads as allowed only when it is
// in force: the calendar folder can be read, or, for the weather, the location service has
// answered for a coarse location or a fixed place is configured. A question that was never
// put stays open, so the user can still be asked.
ContextGrantState calendarGrantState(CalendarAccess access);
ContextGrantState weatherGrantState(const AppConfig& config, std::optional<LocationAuthorization> authorization);

// A one-line reading of today's work for the first run.
struct WorkReading {
    std::string headline;
    std::optional<std::string> detail;
    bool isActive = false;

    // "1 minute", "59 minutes", "1 hour", "2 hours 15 minutes"; a negative count reads as 0.
    static std::string duration(int minutes);

    // From today's active span, longest unbroken run (both in minutes) and projects touched.
    static WorkReading today(int activeMinutes, int longestRunMinutes, int projects);

    bool operator==(const WorkReading&) const = default;
};

}  // namespace quillfen
