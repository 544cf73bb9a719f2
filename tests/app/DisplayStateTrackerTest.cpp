#include "DisplayStateTracker.h"

#include <gtest/gtest.h>

#include "support/FakeDesktop.h"
#include "support/FixedClock.h"

namespace quillfen {
namespace {

using test::at;
using test::FakeSessionEvents;
using test::FixedClock;

struct TrackerRig {
    FixedClock clock{at("2026-01-05T14:00:00Z")};
    FakeSessionEvents events;
    DisplayStateTracker tracker{events, clock};
};

TEST(DisplayStateTracker, ClassifiesTheLockBeforeTheScreens) {
    TrackerRig rig;
    EXPECT_EQ(rig.tracker.displayState(), DisplayState::awake);
    rig.events.screensAsleep(true);
    EXPECT_EQ(rig.tracker.displayState(), DisplayState::displayAsleep);
    rig.events.sessionLocked(true);
    EXPECT_EQ(rig.tracker.displayState(), DisplayState::locked);
    rig.events.screensAsleep(false);
    EXPECT_EQ(rig.tracker.displayState(), DisplayState::locked);
    EXPECT_FALSE(rig.tracker.screensAsleep());
    EXPECT_TRUE(rig.tracker.sessionLocked());
}

TEST(DisplayStateTracker, BanksAFinishedEpisodeUntilItIsConsumed) {
    TrackerRig rig;
    rig.events.screensAsleep(true);
    rig.clock.advance(100);
    rig.events.screensAsleep(false);
    rig.clock.advance(40);
    EXPECT_DOUBLE_EQ(rig.tracker.consumeOffAwakeSeconds(rig.clock.now()), 100);
    EXPECT_DOUBLE_EQ(rig.tracker.consumeOffAwakeSeconds(rig.clock.now()), 0);
}

TEST(DisplayStateTracker, ARunningEpisodeIsCountedFromTheLastConsumption) {
    TrackerRig rig;
    rig.events.sessionLocked(true);
    rig.clock.advance(50);
    EXPECT_DOUBLE_EQ(rig.tracker.consumeOffAwakeSeconds(rig.clock.now()), 50);
    rig.clock.advance(30);
    rig.events.sessionLocked(false);
    rig.clock.advance(10);
    EXPECT_DOUBLE_EQ(rig.tracker.consumeOffAwakeSeconds(rig.clock.now()), 30);
}

TEST(DisplayStateTracker, MovingBetweenOffStatesKeepsOneEpisode) {
    TrackerRig rig;
    rig.events.screensAsleep(true);
    rig.clock.advance(60);
    rig.events.sessionLocked(true);  // asleep -> locked
    rig.clock.advance(60);
    rig.events.sessionLocked(false);  // unlocked while the screens still sleep
    rig.clock.advance(60);
    rig.events.screensAsleep(true);  // a repeated notice changes nothing
    rig.clock.advance(60);
    rig.events.screensAsleep(false);
    rig.clock.advance(500);
    EXPECT_DOUBLE_EQ(rig.tracker.consumeOffAwakeSeconds(rig.clock.now()), 240);
}

TEST(DisplayStateTracker, AddsSeveralEpisodesBetweenConsumptions) {
    TrackerRig rig;
    rig.events.screensAsleep(true);
    rig.clock.advance(20);
    rig.events.screensAsleep(false);
    rig.clock.advance(100);
    rig.events.sessionLocked(true);
    rig.clock.advance(15);
    rig.events.sessionLocked(false);
    rig.events.sessionLocked(false);
    rig.clock.advance(5);
    EXPECT_DOUBLE_EQ(rig.tracker.consumeOffAwakeSeconds(rig.clock.now()), 35);
}

}  // namespace
}  // namespace quillfen
