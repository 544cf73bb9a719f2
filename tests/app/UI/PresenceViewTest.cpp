#include <gtest/gtest.h>

#include <QImage>

#include "UI/PresenceView.h"
#include "UI/Render.h"
#include "UI/Theme.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedRandom.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

TEST(PresenceView, WakingToAskOpensTheEyesInTwoStagesUnlessItStopsAskingFirst) {
    struct Case {
        const char* name;
        double leaveAfter;  // seconds after entering ask; negative: stays
        double eyeAt2_3;
    };
    for (const Case& c : {Case{"stays asking", -1, 1.0}, Case{"leaves for stir at 0.8 s", 0.8, 0.5}}) {
        SCOPED_TRACE(c.name);
        test::SteppedMotion motion;
        PresenceView view(PresenceState::rest, 46, nullptr, motion.driver, evenBreaths(16));
        view.show();
        EXPECT_EQ(view.shapeState().eyePhase, 0);
        view.setPresenceState(PresenceState::ask);
        EXPECT_EQ(view.breathScale(), 1);
        EXPECT_EQ(view.breathOpacity(), 1);
        motion.advance(0.55);
        EXPECT_NEAR(view.shapeState().eyePhase, 0.5, 1e-9);
        if (c.leaveAfter > 0) {
            motion.advance(c.leaveAfter - 0.55);
            view.setPresenceState(PresenceState::stir);
        }
        motion.advance(2.3 - motion.seconds);
        EXPECT_NEAR(view.shapeState().eyePhase, c.eyeAt2_3, 1e-9);
    }
}

TEST(PresenceView, SettlingToRestBreathesOnlyAfterTheEyesHaveSettled) {
    test::SteppedMotion motion;
    PresenceView view(PresenceState::ask, 46, nullptr, motion.driver, evenBreaths(16));
    view.show();
    EXPECT_EQ(view.shapeState().eyePhase, 1) << "shown first asking, the eyes are raised at once";
    view.setPresenceState(PresenceState::rest);
    motion.advance(1.6);
    EXPECT_NEAR(view.shapeState().eyePhase, 0, 1e-9);
    EXPECT_EQ(view.breathScale(), 1) << "settling leaves the breath where it was";
    // In-breath: 2.4 s of a 6 s cycle.
    motion.advance(2.4);
    EXPECT_NEAR(view.breathScale(), 1.015, 1e-9);
    EXPECT_NEAR(view.shapeState().breathPhase, 1, 1e-9);
    motion.advance(3.6);
    EXPECT_NEAR(view.breathScale(), 0.985, 1e-9);
    EXPECT_NEAR(view.breathOpacity(), 0.72, 1e-9);

    // Leaving rest within 1.6 s of settling starts no breath.
    view.setPresenceState(PresenceState::stir);
    view.setPresenceState(PresenceState::rest);
    motion.advance(1.0);
    view.setPresenceState(PresenceState::stir);
    motion.advance(3.0);
    EXPECT_EQ(view.breathScale(), 1);
}

TEST(PresenceView, UnderReduceMotionEveryChangeLandsAtOnceAndNothingBreathes) {
    test::SteppedMotion motion;
    PresenceView view(PresenceState::rest, 46, nullptr, motion.driver, evenBreaths(16));
    view.setReduceMotion(true);
    view.show();
    motion.advance(3);
    view.setPresenceState(PresenceState::ask);
    EXPECT_EQ(view.shapeState().eyePhase, 1);
    view.setPresenceState(PresenceState::rest);
    EXPECT_EQ(view.shapeState().eyePhase, 0);
    motion.advance(10);
    EXPECT_TRUE(motion.driver.idle());
}

// Pixels where the figure's geometry puts its marks, drawn at 4 pixels a point.
TEST(PresenceShape, EyesAreDotsAtHalfPhaseArcsElsewhereAndTheAggravatedFaceIgnoresPhases) {
    auto render = [](PresenceShapeState s) {
        return renderToImage({46, 26}, 4, [&](QPainter& p, const QRectF& r) { paintPresenceShape(p, r, s); });
    };
    auto mossAt = [](const QImage& image, double x, double y) {
        QColor c = image.pixelColor(static_cast<int>(x * 4), static_cast<int>(y * 4));
        return c.alpha() > 200 && std::abs(c.green() - Theme::moss().green()) < 8;
    };
    // Eye centre (19, 12.5): filled for a full dot, a 0.9 radius dot at 0.43, empty for arcs.
    EXPECT_TRUE(mossAt(render({0.5, 0, 46, false}), 19 + 1.6, 12.5));
    EXPECT_FALSE(mossAt(render({0.43, 0, 46, false}), 19 + 1.2, 12.5));
    EXPECT_TRUE(mossAt(render({0.43, 0, 46, false}), 19, 12.5));
    EXPECT_FALSE(mossAt(render({0.0, 0, 46, false}), 19, 12.5));
    // A sagging arc passes below the eye line, a raised one above.
    EXPECT_TRUE(mossAt(render({0.0, 0, 46, false}), 19, 12.5 + 1.75));
    EXPECT_TRUE(mossAt(render({1.0, 0, 46, false}), 19, 12.5 - 1.75));
    // Breathing in lifts the body's top edge from 1.5 to 0.9.
    EXPECT_TRUE(mossAt(render({0, 1, 46, false}), 23, 0.9));
    EXPECT_FALSE(mossAt(render({0, 0, 46, false}), 23, 0.6));
    EXPECT_EQ(render({0, 0, 46, true}), render({1, 1, 46, true}));
}

}  // namespace
}  // namespace quillfen
