#include <gtest/gtest.h>

#include <QLabel>

#include "UI/AskExpand.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

TEST(AskExpand, TheRevealLastsTenSecondsJitteredByItsSeed) {
    EXPECT_EQ(askRevealSeconds(0), 10.0);
    EXPECT_EQ(askRevealSeconds(1), 10.106498520275649);
    EXPECT_EQ(askRevealSeconds(2), 10.145903574716925);
    EXPECT_EQ(askRevealSeconds(42), 10.386503806034916);
    for (std::uint64_t seed : {3ull, 1767225600ull, 0x41DA5E1A6A000000ull, ~0ull}) {
        EXPECT_GE(askRevealSeconds(seed), 9.2);
        EXPECT_LT(askRevealSeconds(seed), 10.8);
    }
}

struct Reveal {
    test::SteppedMotion motion;
    int settled = 0;
    AskExpand view{AskPhase::hidden, 0, [this] { ++settled; }, nullptr, motion.driver};
    Reveal() {
        view.setContent(new QLabel("Step outside for five."));
        view.show();
    }
    void to(double t) { motion.advance(t - motion.seconds); }
};

TEST(AskExpand, TheLinesFollowTheFrameFromFifteenPercentAndBothEndTogether) {
    Reveal r;
    r.to(2);
    EXPECT_EQ(r.view.visibleOpacity(), 0) << "appearing hidden keeps the ask invisible";
    r.view.setPhase(AskPhase::expanding);
    r.to(2 + 1.49);
    EXPECT_GT(r.view.state().scale, 0.9);
    EXPECT_EQ(r.view.state().lineOpacity, 0);
    EXPECT_EQ(r.view.state().lineRise, 6);
    r.to(2 + 1.6);
    EXPECT_GT(r.view.state().lineOpacity, 0);
    EXPECT_LT(r.view.state().lineRise, 6);
    r.to(2 + 9.9);
    EXPECT_LT(r.view.state().lineOpacity, 1);
    r.to(2 + 10);
    EXPECT_EQ(r.view.state(), (AskRevealState{1, 1, 1, 0, 0}));
    EXPECT_TRUE(r.motion.driver.idle());
}

TEST(AskExpand, ADismissalSinksForOnePointOneSecondsAndSettlesOnce) {
    struct Case {
        const char* name;
        double dismissAt;
        bool lineEverShows;
    };
    for (const Case& c : {Case{"after the reveal", 12, true}, Case{"inside the first 15 %", 1.0, false}}) {
        SCOPED_TRACE(c.name);
        Reveal r;
        r.view.setPhase(AskPhase::expanding);
        r.to(c.dismissAt);
        r.view.setPhase(AskPhase::dismissing);
        double most = 0;
        for (int i = 1; i <= 21; ++i) {
            r.to(c.dismissAt + i * 0.05);
            most = std::max(most, r.view.state().lineOpacity);
        }
        EXPECT_EQ(most > 0, c.lineEverShows);
        EXPECT_EQ(r.settled, 0);
        r.to(c.dismissAt + 1.1);
        EXPECT_EQ(r.settled, 1);
        EXPECT_EQ(r.view.state(), AskRevealState{}) << "settling resets the reveal";
        r.to(c.dismissAt + 30);
        EXPECT_EQ(r.settled, 1);
        EXPECT_EQ(r.view.visibleOpacity(), 0);
    }
}

TEST(AskExpand, UnderReduceMotionItShowsAndSettlesAtOnce) {
    Reveal r;
    r.view.setReduceMotion(true);
    r.view.setPhase(AskPhase::expanding);
    EXPECT_EQ(r.view.state(), (AskRevealState{1, 1, 1, 0, 0}));
    r.view.setPhase(AskPhase::dismissing);
    EXPECT_EQ(r.settled, 1);
    EXPECT_EQ(r.view.state(), AskRevealState{});
    EXPECT_TRUE(r.motion.driver.idle());
}

TEST(AskExpand, AnAskThatArrivesWhileOffScreenRevealsWhenShown) {
    test::SteppedMotion motion;
    int settled = 0;
    AskExpand view(AskPhase::hidden, 0, [&] { ++settled; }, nullptr, motion.driver);
    view.setPhase(AskPhase::expanding);
    motion.advance(20);
    EXPECT_EQ(view.visibleOpacity(), 0);
    view.show();
    motion.advance(10);
    EXPECT_EQ(view.visibleOpacity(), 1);
    view.hide();
    // Closed while hidden (the popover closes as the ask does), it still settles.
    view.setPhase(AskPhase::dismissing);
    motion.advance(1.1);
    EXPECT_EQ(settled, 1);
}

}  // namespace
}  // namespace quillfen
