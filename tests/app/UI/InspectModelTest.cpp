#include "UI/InspectModel.h"

#include <gtest/gtest.h>

#include "support/FixedClock.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

TEST(InspectModel, AFreshModelReadsDashesZerosAndNothing) {
    const TimePoint created = test::at("2026-01-05T14:00:00Z");
    InspectModel m(created);
    const std::string dash = "\u2014";
    for (const std::string* text : {&m.atScreenFact(), &m.thisWeekFact(), &m.rightNowFact(), &m.timesSpokenFact(),
                                    &m.todayBand(), &m.partOfDay(), &m.localLine(), &m.reflectionSource(),
                                    &m.lastTickAgoLabel(), &m.breakpointKind()}) {
        EXPECT_EQ(*text, dash);
    }
    for (const std::string* text : {&m.activeSinceLabel(), &m.restraintNote(), &m.decisionReason(),
                                    &m.cloudStatus(), &m.cloudReasoning(), &m.cloudSource(), &m.promiseSentence()}) {
        EXPECT_EQ(*text, "");
    }
    EXPECT_EQ(m.lastUpdated(), created);
    EXPECT_EQ(m.fireThresholdMin(), 120);
    EXPECT_EQ(m.attention(), "idle");
    EXPECT_EQ(m.loadLabel(), "low");
    EXPECT_EQ(m.loginItemState(), "notRegistered");
    EXPECT_FALSE(m.outsideFact() || m.browserFact() || m.aiLastActiveMinAgo() || m.calNextInMin() ||
                 m.batteryPercent() || m.cloudLine());
    EXPECT_TRUE(m.week().empty() && m.whyFactors().empty() && m.decisionLog().empty());
    EXPECT_FALSE(m.heartbeatStale() || m.hasPromise() || m.firing() || m.calAuthorized() || m.aiAvailable());
    m.onRefresh();
    m.onAskIlvane();
}

TEST(InspectModel, AnAskWithoutTheToolChangesOnlyTheStatus) {
    InspectModel m(test::at("2026-01-05T14:00:00Z"));
    m.setCloud({"she reasoned over it live", "because", std::string("a line"), "rendered: mind"});
    int changed = 0;
    QObject::connect(&m, &InspectModel::changed, [&] { ++changed; });
    InspectFacts::CloudFields cloud = m.cloud();
    cloud.markUnavailable();
    m.setCloud(cloud);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(m.cloudLine(), "a line");
    EXPECT_EQ(m.cloudSource(), "rendered: mind");
    EXPECT_EQ(m.cloudStatus(), "cloud is off (no Claude on this machine, or disabled)");
}

}  // namespace
}  // namespace quillfen
