#include "Onboarding/OnboardingSources.h"

#include <algorithm>

namespace quillfen {

std::string_view WorkSource::Presence::word() const {
    switch (kind_) {
        case Kind::found:
            return "found";
        case Kind::notFound:
            return "not here yet";
        case Kind::needsCompanion:
            break;
    }
    return text_;
}

namespace WorkSourceRegistry {

std::vector<WorkSource> sources(const Exists& exists) {
    using Presence = WorkSource::Presence;
    // Each test is made before the row is built, so the predicate is asked in row order.
    Presence claude = exists(claudeProjectsPath) ? Presence::found() : Presence::notFound();
    Presence codex =
        exists(codexSessionsPath) || exists(codexEventsPath) ? Presence::found() : Presence::notFound();
    Presence browser = exists(browserRhythmPath) ? Presence::found()
                                                 : Presence::needsCompanion("needs the browser extension");
    return {
        {"claude", "Claude Code", "Prompt timing, session length, and project switching", std::move(claude)},
        {"codex", "Codex", "Running turns and natural seams while the agent continues", std::move(codex)},
        {"browser", "Browser rhythm", "Tab changes and active time, never URLs, titles, or page content",
         std::move(browser)},
    };
}

}  // namespace WorkSourceRegistry

std::string_view word(ContextGrantState state) {
    switch (state) {
        case ContextGrantState::notAsked:
            return "Allow";
        case ContextGrantState::allowed:
            return "Allowed";
        case ContextGrantState::declined:
            break;
    }
    return "Not allowed";
}

ContextGrantState calendarGrantState(CalendarAccess access) {
    return access == CalendarAccess::fullAccess ? ContextGrantState::allowed : ContextGrantState::notAsked;
}

ContextGrantState weatherGrantState(const AppConfig& config, std::optional<LocationAuthorization> authorization) {
    switch (config.locationMode) {
        case LocationMode::fixedPlace:
            return config.fixedPlace && !config.fixedPlace->empty() ? ContextGrantState::allowed
                                                                     : ContextGrantState::notAsked;
        case LocationMode::none:
            return ContextGrantState::notAsked;
        case LocationMode::coreLocationCoarse:
            break;
    }
    if (!authorization || *authorization == LocationAuthorization::notDetermined) return ContextGrantState::notAsked;
    return *authorization == LocationAuthorization::authorized ? ContextGrantState::allowed
                                                               : ContextGrantState::declined;
}

std::string WorkReading::duration(int minutes) {
    minutes = std::max(minutes, 0);
    const int hours = minutes / 60;
    const int rest = minutes % 60;
    auto minutesPart = [](int m) { return m == 1 ? std::string("1 minute") : std::to_string(m) + " minutes"; };
    if (hours == 0) return minutesPart(rest);
    std::string text = hours == 1 ? std::string("1 hour") : std::to_string(hours) + " hours";
    if (rest != 0) text += " " + minutesPart(rest);
    return text;
}

WorkReading WorkReading::today(int activeMinutes, int longestRunMinutes, int projects) {
    const int minutes = std::max(activeMinutes, longestRunMinutes);
    if (minutes < 1) return {"Nothing read on this computer yet today", std::nullopt, false};
    std::string detail = duration(minutes);
    if (projects == 1) {
        detail += " \u00b7 1 project";
    } else if (projects >= 2) {
        detail += " \u00b7 " + std::to_string(projects) + " projects";
    }
    return {"A work session is active", std::move(detail), true};
}

}  // namespace quillfen
