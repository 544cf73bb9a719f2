#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "UI/AnimationDriver.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

// The curve's y at a given x, found by walking the parametric curve finely: a second way to
// the same answer, with nothing shared with the solver.
double referenceBezier(double x1, double y1, double x2, double y2, double x) {
    auto coord = [](double p1, double p2, double t) {
        double u = 1 - t;
        return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
    };
    const int steps = 200000;
    double previousT = 0, previousX = 0;
    for (int i = 1; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        double cx = coord(x1, x2, t);
        if (cx >= x) {
            double f = cx == previousX ? 0 : (x - previousX) / (cx - previousX);
            return coord(y1, y2, previousT + f * (t - previousT));
        }
        previousT = t;
        previousX = cx;
    }
    return 1;
}

TEST(TimingCurve, EveryNamedCurveFollowsItsBezierShape) {
    struct Case {
        const char* name;
        const Animation& animation;
        double x1, y1, x2, y2, seconds;
    };
    const Case cases[] = {
        {"Wake.curve", MotionTokens::Wake::curve(), 0.16, 0.8, 0.3, 1.0, 1.2},
        {"Wake.stirCurve", MotionTokens::Wake::stirCurve(), 0.33, 0.0, 0.4, 1.0, 0.55},
        {"Expand.dismissCurve", MotionTokens::Expand::dismissCurve(), 0.4, 0.0, 0.7, 1.0, 1.1},
        {"Expand.returnCurve", MotionTokens::Expand::returnCurve(), 0.4, 0.0, 0.5, 1.0, 1.6},
        {"Living.gatherCurve", MotionTokens::Living::gatherCurve(), 0.22, 0.61, 0.36, 1.0, 1.1},
        {"Living.thinCurve", MotionTokens::Living::thinCurve(), 0.22, 0.61, 0.36, 1.0, 0.8},
        {"Living.aggravateCurve", MotionTokens::Living::aggravateCurve(), 0.3, 0.0, 0.3, 1.0, 0.5},
        {"Living.ceilingLineCurve", MotionTokens::Living::ceilingLineCurve(), 0.42, 0.0, 0.58, 1.0, 1.0},
        {"MenuBar.curve", MotionTokens::MenuBar::curve(), 0.4, 0.0, 0.6, 1.0, 0.9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(c.animation.duration, c.seconds);
        EXPECT_EQ(c.animation.curve.value(0), 0);
        EXPECT_EQ(c.animation.curve.value(1), 1);
        for (double x : {0.01, 0.1, 0.25, 0.4, 0.5, 0.6, 0.75, 0.9, 0.99})
            EXPECT_NEAR(c.animation.curve.value(x), referenceBezier(c.x1, c.y1, c.x2, c.y2, x), 2e-5) << x;
    }
}

TEST(TimingCurve, ASpringSettlesOnItsEndAndAnUnderdampedOneOvershoots) {
    Animation bouncy = Animation::spring(0.55, 0.6);
    Animation critical = Animation::spring(0.55, 1.0);
    EXPECT_NEAR(bouncy.curve.value(1), 1, 1e-3);
    EXPECT_NEAR(critical.curve.value(1), 1, 1e-3);
    double peak = 0, criticalPeak = 0;
    for (int i = 0; i <= 100; ++i) {
        peak = std::max(peak, bouncy.curve.value(i / 100.0));
        criticalPeak = std::max(criticalPeak, critical.curve.value(i / 100.0));
    }
    EXPECT_GT(peak, 1.05);
    EXPECT_LE(criticalPeak, 1.0 + 1e-9);
}

TEST(AnimationDriver, SamplesAValueAlongItsCurveAndEndsExactlyOnTarget) {
    test::SteppedMotion motion;
    std::vector<double> seen;
    bool finished = false;
    auto handle = motion.driver.animate(10, 20, Animation::linear(1.0), [&](double v) { seen.push_back(v); },
                                        [&] { finished = true; });
    motion.advance(0.25);
    EXPECT_DOUBLE_EQ(seen.back(), 12.5);
    motion.advance(0.5);
    EXPECT_DOUBLE_EQ(seen.back(), 17.5);
    EXPECT_FALSE(finished);
    motion.advance(5);
    EXPECT_EQ(seen.back(), 20);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(motion.driver.idle());
    EXPECT_FALSE(motion.driver.timerArmed()) << "nothing moves, so nothing should wake the driver";
}

TEST(AnimationDriver, StepsRunAtTheirOwnInstantsSoAChainNeverDrifts) {
    test::SteppedMotion motion;
    std::vector<std::string> log;
    double value = 0;
    AnimationDriver::Handle second, animation;
    auto first = motion.driver.after(0.6, [&] {
        log.push_back("step at " + std::to_string(motion.driver.now()));
        // Started inside the step: timed from 0.6 even though the clock jumped past it.
        animation = motion.driver.animate(0, 1, Animation::linear(1.0), [&](double v) { value = v; },
                                          [&] { log.push_back("end at " + std::to_string(motion.driver.now())); });
        second = motion.driver.after(1.0, [&] { log.push_back("step at " + std::to_string(motion.driver.now())); });
    });
    motion.advance(1.0);
    EXPECT_NEAR(value, 0.4, 1e-12);
    motion.advance(2.0);
    // The animation's end and the step share an instant: the end comes first.
    EXPECT_EQ(log, (std::vector<std::string>{"step at 0.600000", "end at 1.600000", "step at 1.600000"}));
}

TEST(AnimationDriver, ARepeatingStepKeepsItsCadenceAndMakesUpNoInstantItSleptThrough) {
    test::SteppedMotion motion;
    std::vector<double> runs;
    int ownRuns = 0;
    AnimationDriver::Handle repeating =
        motion.driver.every(1.0, [&] { runs.push_back(motion.driver.now()); });
    AnimationDriver::Handle selfEnding;
    selfEnding = motion.driver.every(0.25, [&] {
        if (++ownRuns == 2) selfEnding.reset();
    });
    motion.advance(0.5);
    motion.advance(0.5);
    // Woken 3.5 s late: one run, at the first instant missed, and the next on the cadence.
    motion.advance(3.5);
    motion.advance(0.5);
    EXPECT_EQ(runs, (std::vector<double>{1, 2, 5}));
    EXPECT_EQ(ownRuns, 2);
    repeating.reset();
    motion.advance(10);
    EXPECT_EQ(runs.size(), 3u);
    EXPECT_TRUE(motion.driver.idle());
}

TEST(AnimationDriver, ACancelledOrDroppedHandleStopsItsWorkAndMayOutliveTheDriver) {
    int runs = 0;
    AnimationDriver::Handle survivor;
    {
        test::SteppedMotion motion;
        auto kept = motion.driver.after(0.1, [&] { ++runs; });
        { auto dropped = motion.driver.after(0.1, [&] { runs += 100; }); }
        auto cancelled = motion.driver.animate(0, 1, Animation::linear(1), [&](double) { runs += 1000; });
        cancelled.reset();
        motion.advance(1);
        EXPECT_EQ(runs, 1);
        EXPECT_FALSE(kept.active());
        survivor = motion.driver.after(5, [&] { ++runs; });
        EXPECT_TRUE(survivor.active());
    }
    EXPECT_FALSE(survivor.active());
    survivor.reset();
}

TEST(AnimationDriver, AStepWhoseTimeCameWhileItsTimerWasBeingArmedRunsAtOnce) {
    // The clock moves a minute on just as the driver arms its timer for the minute's step: the
    // event loop would time that minute from after the move.
    AnimationDriver* driver = nullptr;
    bool moved = false;
    AnimationDriver stepped([&] {
        moved = moved || (driver != nullptr && driver->timerArmed());
        return moved ? 160.0 : 100.0;
    });
    driver = &stepped;
    int runs = 0;
    auto minutely = stepped.every(60, [&] { ++runs; });
    EXPECT_TRUE(test::spinUntil([&] { return runs == 1; }));
}

TEST(AnimatedValue, RetargetsFromWhereItStandsAndJumpsUnderReduceMotion) {
    test::SteppedMotion motion;
    int changes = 0;
    AnimatedValue v(motion.driver, 0, [&] { ++changes; });
    v.animateTo(1, Animation::linear(1));
    motion.advance(0.5);
    EXPECT_DOUBLE_EQ(v.value(), 0.5);
    v.animateTo(0, Animation::linear(1));
    motion.advance(0.5);
    EXPECT_DOUBLE_EQ(v.value(), 0.25);
    v.moveTo(1, Animation::linear(1), /*reduceMotion=*/true);
    EXPECT_EQ(v.value(), 1);
    EXPECT_FALSE(v.moving());
    EXPECT_GT(changes, 2);
}

}  // namespace
}  // namespace quillfen
