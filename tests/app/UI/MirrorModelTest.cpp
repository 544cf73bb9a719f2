#include "UI/MirrorModel.h"

#include <gtest/gtest.h>

#include "support/FixedClock.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

using test::at;

TEST(MirrorModel, ANewModelShowsNothingYetAndACalmFace) {
    MirrorModel model;
    EXPECT_EQ(model.face(), StoneFace::calm);
    EXPECT_EQ(model.identity(), StoneIdentity::fallback());
    EXPECT_TRUE(model.today().runs.empty());
    EXPECT_EQ(model.today().dayStartHour, 6);
    EXPECT_EQ(model.today().dayEndHour, 24);
    EXPECT_EQ(model.deadman().line(), std::nullopt);
    EXPECT_EQ(model.mindConnection(), MindConnection::off);
    EXPECT_EQ(model.reflectionLine(), "");
    EXPECT_EQ(model.faceEvidence(), FaceEvidence::neverSensed());
    EXPECT_EQ(model.thresholds(), FaceThresholds::defaults());
    EXPECT_EQ(model.todayDecisionsFact(), std::nullopt);
    EXPECT_EQ(model.heldTodayFact(), std::nullopt);
}

TEST(MirrorModel, TheFaceIsJudgedAsOfItsPublicationNotAsItIsRead) {
    const TimePoint seen = at("2026-01-05T14:00:00Z");
    FaceEvidence looping{5, true, seen, 10, DisplayState::awake};
    struct Case {
        const char* name;
        FaceEvidence evidence;
        double judgedAfter;
        StoneFace face;
    };
    for (const Case& c : {Case{"a live loop, fresh, awake, present", looping, 30, StoneFace::strained},
                          Case{"the same evidence judged over 600 s later", looping, 601, StoneFace::calm},
                          Case{"busy switching", {45, false, seen, 10, std::nullopt}, 30, StoneFace::neutral},
                          Case{"stepped away", {90, true, seen, 400, DisplayState::awake}, 30, StoneFace::calm}}) {
        MirrorModel model;
        int changed = 0;
        QObject::connect(&model, &MirrorModel::changed, [&] { ++changed; });
        model.publishFace(c.evidence, addSeconds(seen, c.judgedAfter), 5, c.evidence.loopLive);
        EXPECT_EQ(model.face(), c.face) << c.name;
        EXPECT_EQ(changed, 1) << "one publication, heard once";
    }
}

TEST(MirrorModel, AFacePublicationWithoutASampleWritesNeverSensedAndNoSwitches) {
    MirrorModel model;
    model.publishFace({80, true, at("2026-01-05T14:00:00Z"), 0, std::nullopt}, at("2026-01-05T14:00:00Z"), 80, true);
    EXPECT_EQ(model.face(), StoneFace::strained);
    model.publishFace(FaceEvidence::neverSensed(), at("2026-01-05T14:05:00Z"), 0, false);
    EXPECT_EQ(model.switchesPerHour(), 0);
    EXPECT_FALSE(model.claudeLoopLive());
    EXPECT_EQ(model.face(), StoneFace::calm);
}

TEST(MirrorModel, CountsAreNeverNegative) {
    MirrorModel model;
    model.setLongestRunMin(-3);
    model.setPullsLast10m(-1);
    model.setPullsToday(-8);
    model.setLoopsToday(-2);
    EXPECT_EQ(model.longestRunMin() + model.pullsLast10m() + model.pullsToday() + model.loopsToday(), 0);
}

}  // namespace
}  // namespace quillfen
