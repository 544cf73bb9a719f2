#include "Mind/AgentTenant.h"

#include <gtest/gtest.h>

#include "Mind/LocalLine.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

TEST(AgentTenant, IlvaneIsTheStonesPersonaOnHaikuWithItsCadence) {
    test::TestHome home;
    const AgentTenant tenant = AgentTenant::ilvane();
    EXPECT_EQ(tenant.id, "ilvane");
    EXPECT_EQ(tenant.displayName, "Ostrel agent");
    EXPECT_EQ(tenant.model, "haiku");
    EXPECT_EQ(tenant.personaPath, (home.path() / ".claude/agents/carrowin.md").string());
    EXPECT_EQ(tenant.cadence, (Cadence{2, DeciderThresholds{120, 2, 7.0, 20.0, 165}}));
}

TEST(AgentTenant, EachReadIsFreshAndFollowsTheHomeOfTheMoment) {
    std::string firstPath;
    {
        test::TestHome home;
        firstPath = AgentTenant::ilvane().personaPath;
    }
    test::TestHome other;
    const AgentTenant again = AgentTenant::ilvane();
    EXPECT_EQ(again.personaPath, (other.path() / ".claude/agents/carrowin.md").string());
    EXPECT_NE(again.personaPath, firstPath);

    const AgentTenant once = AgentTenant::ilvane();
    EXPECT_EQ(once.id, again.id);
    EXPECT_EQ(once.displayName, again.displayName);
    EXPECT_EQ(once.model, again.model);
    EXPECT_EQ(once.cadence, again.cadence);
}

TEST(AgentTenant, IlvaneSpeaksTheLocalLineAndChecksWithTheVoiceGuard) {
    const AgentTenant tenant = AgentTenant::ilvane();
    for (int longAfternoons : {0, 1, 3, 8}) {
        AgentSummary summary;
        summary.summary.longAfternoonsThisWeek = longAfternoons;
        EXPECT_EQ(tenant.renderLocalLine(summary), LocalLine::line(summary));
    }
    for (const char* line : {"", "A calm week.", "STILL here? 3 hours in \u2014 tavryn."})
        EXPECT_EQ(tenant.guardrail(line), VoiceGuard::check(line)) << line;
}

TEST(AgentTenant, IlvaneBuildsTheWorkSummaryFromTheSamples) {
    test::ScopedTimeZone tz("UTC");
    const TimePoint now = at("2026-01-07T16:00:00Z");
    std::vector<SignalSample> samples;
    for (const char* day : {"2026-01-05T15:30:00Z", "2026-01-06T15:30:00Z", "2026-01-07T15:30:00Z"}) {
        SignalSample sample;
        sample.timestamp = at(day);
        sample.continuousActiveSeconds = 150 * 60;
        sample.localHour = 15.5;
        samples.push_back(sample);
    }
    const AgentTenant tenant = AgentTenant::ilvane();
    for (std::optional<bool> sky :
         {std::optional<bool>(), std::optional<bool>(true), std::optional<bool>(false)}) {
        const AgentSummary built = tenant.buildSummary(samples, now, 1, sky);
        EXPECT_EQ(built, AgentSummary::build(samples, now, AgentProfile::work, 1, sky));
        EXPECT_EQ(built.profile, AgentProfile::work);
        EXPECT_EQ(built.skyConfirmedGood, sky);
    }
    EXPECT_EQ(tenant.buildSummary(samples, now, 0, std::nullopt).summary.longAfternoonsThisWeek, 3);
}

}  // namespace
}  // namespace quillfen
