#include <gtest/gtest.h>

#include "UI/StoneBeing.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedRandom.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

AnyRNGBox draws(std::vector<std::uint64_t> values) {
    return AnyRNGBox(ScriptedRandom(std::move(values)));
}

constexpr std::uint64_t kMiddle = std::numeric_limits<std::uint64_t>::max() / 2;
constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();

TEST(StoneBeing, BreathesInForTwoFifthsOfAJitteredCycleAndOutForTheRest) {
    test::SteppedMotion motion;
    // The first cycle is drawn at the top of the jitter: 6.36 s, in-breath 2.544 s.
    StoneBeing being(StoneFace::calm, StoneIdentity::fallback(), 110, true, nullptr, motion.driver,
                     draws({kTop, kMiddle, kMiddle}));
    EXPECT_EQ(being.state().breathScale, 0.985);
    EXPECT_EQ(being.state().breathOpacity, 0.72);
    being.show();
    motion.advance(2.544);
    EXPECT_NEAR(being.state().breathScale, 1.015, 1e-9);
    EXPECT_NEAR(being.state().breathOpacity, 1.0, 1e-9);
    motion.advance(3.816);
    EXPECT_NEAR(being.state().breathScale, 0.985, 1e-9);
    EXPECT_NEAR(being.state().breathOpacity, 0.72, 1e-9);
    // The next cycle (6 s) has begun at once.
    motion.advance(2.4);
    EXPECT_NEAR(being.state().breathScale, 1.015, 1e-9);
}

TEST(StoneBeing, AStillFaceStopsTheBreathAtOnceAndAStaleStepNeverActs) {
    test::SteppedMotion motion;
    StoneBeing being(StoneFace::calm, StoneIdentity::fallback(), 110, true, nullptr, motion.driver,
                     draws({kMiddle, kMiddle, kMiddle, kMiddle}));
    being.show();
    const unsigned first = being.breath().generation();
    motion.advance(1.0);
    being.setFace(StoneFace::strained);
    EXPECT_EQ(being.state().breathScale, 1);
    EXPECT_EQ(being.state().breathOpacity, 1);
    // The out-breath the first cycle had waiting (at 2.4 s) must not act.
    motion.advance(2.0);
    EXPECT_EQ(being.state().breathScale, 1);
    being.setFace(StoneFace::neutral);
    EXPECT_GT(being.breath().generation(), first);
    motion.advance(2.4);
    EXPECT_NEAR(being.state().breathScale, 1.015, 1e-9);
    // Back to calm mid-breath: one cycle, started afresh; the old one's steps are dropped.
    being.setFace(StoneFace::calm);
    motion.advance(0.5);
    EXPECT_NEAR(being.state().breathScale, 1.015, 1e-9);
}

TEST(StoneBeing, UnderReduceMotionItNeverScalesOrFades) {
    test::SteppedMotion motion;
    StoneBeing being(StoneFace::calm, StoneIdentity::fallback(), 110, true, nullptr, motion.driver,
                     draws({kMiddle}));
    being.setReduceMotion(true);
    being.show();
    motion.advance(10);
    EXPECT_TRUE(motion.driver.idle());
    EXPECT_EQ(being.state().breathScale, 0.985) << "the states stay, the drawing ignores them";
}

}  // namespace
}  // namespace quillfen
