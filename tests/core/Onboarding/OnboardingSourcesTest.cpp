#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Onboarding/OnboardingSources.h"

namespace quillfen {
namespace {

TEST(WorkSourceRegistry, AsksEachPathOnceInRowOrderAndNeverAboutEventsWhenSessionsExist) {
    const std::string claude(WorkSourceRegistry::claudeProjectsPath), sessions(WorkSourceRegistry::codexSessionsPath),
        events(WorkSourceRegistry::codexEventsPath), browser(WorkSourceRegistry::browserRhythmPath);
    const std::tuple<std::set<std::string>, std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{}, {claude, sessions, events, browser}, {"not here yet", "not here yet", "needs the browser extension"}},
        {{sessions, browser}, {claude, sessions, browser}, {"not here yet", "found", "found"}},
        {{claude, events}, {claude, sessions, events, browser}, {"found", "found", "needs the browser extension"}},
    };
    for (const auto& [existing, expectedAsks, expectedWords] : cases) {
        std::vector<std::string> asked, ids, words;
        for (const auto& row : WorkSourceRegistry::sources([&](std::string_view path) {
                 asked.emplace_back(path);
                 return existing.count(std::string(path)) != 0;
             })) {
            ids.push_back(row.id);
            words.emplace_back(row.presence.word());
        }
        EXPECT_EQ(asked, expectedAsks);
        EXPECT_EQ(ids, (std::vector<std::string>{"claude", "codex", "browser"}));
        EXPECT_EQ(words, expectedWords);
    }
    using Presence = WorkSource::Presence;
    EXPECT_NE(Presence::needsCompanion("a"), Presence::needsCompanion("b"));
    EXPECT_NE(Presence::found(), Presence::notFound());
}

TEST(WorkReading, ReadsTheLongerOfSpanAndRunInHoursAndMinutesWithTheProjects) {
    const std::tuple<int, int, int, std::optional<std::string>> cases[] = {
        {0, 0, 5, std::nullopt},          {-3, 0, 1, std::nullopt},
        {0, 1, 1, "1 minute \u00b7 1 project"}, {61, 30, 0, "1 hour 1 minute"},
        {45, 50, 2, "50 minutes \u00b7 2 projects"}, {120, 0, -1, "2 hours"},
        {59, 135, 3, "2 hours 15 minutes \u00b7 3 projects"},
    };
    for (const auto& [span, run, projects, detail] : cases) {
        auto reading = WorkReading::today(span, run, projects);
        EXPECT_EQ(reading.detail, detail) << span << " " << run;
        EXPECT_EQ(reading.isActive, detail.has_value());
        EXPECT_EQ(reading.headline, detail ? "A work session is active" : "Nothing read on this computer yet today");
    }
    EXPECT_EQ(WorkReading::duration(0), "0 minutes");
}

TEST(ContextGrantState, StartsAllowedOnlyForAGrantInForce) {
    using S = ContextGrantState;
    using A = LocationAuthorization;
    EXPECT_EQ(calendarGrantState(CalendarAccess::fullAccess), S::allowed);
    EXPECT_EQ(calendarGrantState(CalendarAccess::denied), S::notAsked);

    AppConfig coarse, fixed, fixedWithoutPlace, none;
    fixed.locationMode = fixedWithoutPlace.locationMode = LocationMode::fixedPlace;
    fixed.fixedPlace = coarse.fixedPlace = "Leipzig";
    none.locationMode = LocationMode::none;
    const std::tuple<AppConfig, std::optional<A>, S> cases[] = {
        {coarse, std::nullopt, S::notAsked}, {coarse, A::notDetermined, S::notAsked},
        {coarse, A::authorized, S::allowed},  {coarse, A::restricted, S::declined},
        {fixed, std::nullopt, S::allowed},    {fixedWithoutPlace, A::authorized, S::notAsked},
        {none, A::authorized, S::notAsked},
    };
    for (const auto& [config, authorization, expected] : cases)
        EXPECT_EQ(weatherGrantState(config, authorization), expected) << toString(config.locationMode);
}

}  // namespace
}  // namespace quillfen
