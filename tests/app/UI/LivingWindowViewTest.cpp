#include <gtest/gtest.h>

#include <QMouseEvent>

#include "UI/LivingWindowView.h"
#include "support/PaintCounter.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedRandom.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

TEST(LivingPane, SizeOpacityFaceAndInkFollowTheScoreTheAggravationAndTheMirror) {
    const QColor dark = QColor::fromRgb(63, 59, 49), moss = QColor::fromRgb(77, 90, 58);
    struct Case {
        const char* name;
        double score;
        bool aggravated;
        std::optional<PaneMirror> mirror;
        double stone, frameWidth, frameHeight, opacity;
        StoneFace face;
        QColor ink;
    };
    const Case cases[] = {
        {"quiet", 0, false, std::nullopt, 88.704, 258, 145.136, 0.8944, StoneFace::calm, moss},
        {"aggravated at the top", 1, true, std::nullopt, 182.4, 260, 207.6, 0.9934, StoneFace::strained, dark},
        {"full but calm", 1, false, std::nullopt, 182.4, 258, 207.6, 0.9934, StoneFace::neutral, moss},
        {"a live loop at rest", 0, false, PaneMirror{StoneFace::calm, true}, 88.704, 258, 145.136, 0.8944,
         StoneFace::strained, dark},
        {"below the wake line the mirror is not asked", 0.6, false, PaneMirror{StoneFace::strained, false}, -1, -1,
         -1, -1, StoneFace::calm, moss},
        {"from the wake line on the mirror's face", 0.61, false, PaneMirror{StoneFace::strained, false}, -1, -1, -1,
         -1, StoneFace::strained, dark},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LivingPaneTargets t = livingPaneTargets(c.score, c.aggravated, c.mirror);
        if (c.stone > 0) {
            EXPECT_NEAR(t.stoneWidth, c.stone, 1e-9);
            EXPECT_NEAR(t.frameWidth, c.frameWidth, 1e-9);
            EXPECT_NEAR(t.frameHeight, c.frameHeight, 1e-9);
            EXPECT_NEAR(t.opacity, c.opacity, 1e-9);
        }
        EXPECT_EQ(t.face, c.face);
        EXPECT_EQ(t.lineInk, c.ink);
    }
}

struct Pane {
    test::SteppedMotion motion;
    LivingWindowModel model{StoneIdentity::fallback()};
    int taps = 0;
    LivingWindowView view{model, [this] { ++taps; }, nullptr, motion.driver, evenBreaths(64)};
};

TEST(LivingPane, AggravatedItPulsesEveryElevenTenthsAndKnocksTwiceEveryTwoSeconds) {
    Pane pane;
    pane.model.setScore(0.8);
    pane.view.show();
    pane.model.setAggravated(true);
    struct Sample {
        double at, dy, rot, breath;
    };
    // From the moment it turned aggravated.
    const Sample timeline[] = {
        {0.6, 0, 0, 0.93},     {1.1, 0, 0, 1.0},     {1.68, 0, 0, -1},     {1.74, 1.5, -0.5, -1},
        {1.80, 0, 0, -1},      {1.92, 0, 0, -1},     {1.98, 1.5, -0.5, -1}, {2.04, 0, 0, -1},
        {3.72, 0, 0, -1},      {3.78, 1.5, -0.5, -1},
    };
    double now = 0;
    for (const auto& s : timeline) {
        SCOPED_TRACE(s.at);
        pane.motion.advance(s.at - now);
        now = s.at;
        EXPECT_NEAR(pane.view.state().dy, s.dy, 1e-9);
        EXPECT_NEAR(pane.view.state().rot, s.rot, 1e-9);
        if (s.breath > 0) {
            EXPECT_NEAR(pane.view.aggBreath(), s.breath, 1e-9);
        }
    }
    // Cleared between the knocks of a pair (the first came at 3.72-3.84): back to rest at once,
    // the pair's second knock still comes, and no pair after it.
    pane.motion.advance(0.1);
    pane.model.setAggravated(false);
    EXPECT_EQ(pane.view.state().dy, 0);
    EXPECT_EQ(pane.view.aggBreath(), 1);
    pane.motion.advance(4.02 - 3.88);
    EXPECT_NEAR(pane.view.state().dy, 1.5, 1e-9);
    pane.motion.advance(3.0);
    EXPECT_EQ(pane.view.state().dy, 0);
    EXPECT_EQ(pane.view.state().rot, 0);
}

TEST(LivingPane, ARisingScoreGathersSlowlyAFallingOneThinsFasterAndReduceMotionJumps) {
    Pane pane;
    pane.view.show();
    const qreal small = livingPaneTargets(0, false, {}).stoneWidth;
    const qreal large = livingPaneTargets(0.5, false, {}).stoneWidth;
    pane.model.setScore(0.5);
    pane.motion.advance(0.8);
    EXPECT_LT(pane.view.state().being.shape.width, large - 0.01) << "gathering takes 1.1 s";
    pane.motion.advance(0.3);
    EXPECT_NEAR(pane.view.state().being.shape.width, large, 1e-9);
    pane.model.setScore(0);
    pane.motion.advance(0.8);
    EXPECT_NEAR(pane.view.state().being.shape.width, small, 1e-9);
    pane.view.setReduceMotion(true);
    pane.model.setScore(0.5);
    EXPECT_NEAR(pane.view.state().being.shape.width, large, 1e-9);
}

TEST(LivingPane, ABreathRepaintsTheStoneOnlyAsItsEdgeMovesByWholeHalfPixels) {
    for (const double score : {0.0, 1.0}) {
        Pane pane;
        pane.model.setScore(score);
        pane.view.setReduceMotion(true);
        pane.view.show();
        pane.view.setReduceMotion(false);
        QCoreApplication::processEvents();
        test::PaintCounter counter;
        pane.view.installEventFilter(&counter);
        double low = 2, high = 0;
        for (int frame = 0; frame < 600; ++frame) {
            pane.motion.advance(0.05);
            QCoreApplication::processEvents();
            low = std::min(low, pane.view.breathScale());
            high = std::max(high, pane.view.breathScale());
        }
        // Thirty seconds hold several breaths; each half grows the width by 3 %.
        const double width = livingPaneTargets(score, false, {}).stoneWidth;
        const int halves = 30 / 2;
        EXPECT_GT(high - low, 0.02) << score << " paints " << counter.paints;
        EXPECT_GT(counter.paints, halves) << score;
        EXPECT_LE(counter.paints, halves * static_cast<int>(std::ceil(0.03 * width + 1))) << score;
    }
}

TEST(LivingPane, AClickAnywhereRunsTheTap) {
    Pane pane;
    pane.view.resize(pane.view.sizeHint());
    pane.view.show();
    for (QPointF where : {QPointF(5, 5), QPointF(250, 140)}) {
        QMouseEvent press(QEvent::MouseButtonPress, where, where, Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, where, where, Qt::LeftButton, {}, {});
        QCoreApplication::sendEvent(&pane.view, &press);
        QCoreApplication::sendEvent(&pane.view, &release);
    }
    EXPECT_EQ(pane.taps, 2);
}

}  // namespace
}  // namespace quillfen
