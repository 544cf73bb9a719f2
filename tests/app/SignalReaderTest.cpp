#include "SignalReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/FakeDesktop.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using test::FakeApplicationActivations;
using test::FakeIdleTime;
using test::FakeSessionEvents;
using test::FixedClock;

struct JournalLine {
    std::string kind;
    std::string detail;
    TimePoint time;
};

// The reader on a played desktop with a clock that moves only when told.
struct ReaderRig {
    FixedClock clock{at("2026-01-05T14:00:00Z")};
    FakeIdleTime idle;
    FakeApplicationActivations activations;
    FakeSessionEvents session;
    std::vector<JournalLine> journal;
    std::unique_ptr<SignalReader> reader = std::make_unique<SignalReader>(
        SensingPlatform{idle, activations, session},
        [this](std::string kind, std::string detail, TimePoint now) {
            journal.push_back({std::move(kind), std::move(detail), now});
        },
        180, clock);

    SignalSample readAfter(double seconds, double idleSeconds) {
        clock.advance(seconds);
        idle.seconds = idleSeconds;
        return reader->read();
    }

    std::vector<std::string> details() const {
        std::vector<std::string> result;
        for (const auto& line : journal)
            result.push_back(line.detail);
        return result;
    }
};

TEST(SignalReader, FirstReadReportsTheTimeSinceConstruction) {
    ReaderRig rig;
    auto sample = rig.readAfter(600, 0);
    EXPECT_DOUBLE_EQ(sample.continuousActiveSeconds, 600);
    EXPECT_FALSE(rig.reader->brokeOnLastRead());
    EXPECT_EQ(sample.timestamp, at("2026-01-05T14:10:00Z"));
    EXPECT_EQ(sample.displayState, DisplayState::awake);
    EXPECT_EQ(sample.titleChurnPerHour, std::nullopt);
    EXPECT_TRUE(rig.journal.empty());

    ReaderRig idleAtStart;
    auto away = idleAtStart.readAfter(600, 200);
    EXPECT_DOUBLE_EQ(away.continuousActiveSeconds, 0);
    EXPECT_DOUBLE_EQ(away.secondsSinceLastInput, 200);
    EXPECT_FALSE(idleAtStart.reader->brokeOnLastRead());
}

TEST(SignalReader, ReturnFromAnIdleBreakStartsTheStretchAtTheLastInput) {
    ReaderRig rig;
    for (double idle : {0.0, 60.0, 120.0, 179.0}) {
        rig.readAfter(60, idle);
        EXPECT_FALSE(rig.reader->brokeOnLastRead()) << idle;
    }
    EXPECT_DOUBLE_EQ(rig.readAfter(60, 200).continuousActiveSeconds, 0);
    EXPECT_FALSE(rig.reader->brokeOnLastRead());

    auto back = rig.readAfter(60, 5);
    EXPECT_TRUE(rig.reader->brokeOnLastRead());
    EXPECT_DOUBLE_EQ(back.continuousActiveSeconds, 5);
    ASSERT_EQ(rig.journal.size(), 1u);
    EXPECT_EQ(rig.journal[0].kind, "reset");
    EXPECT_EQ(rig.journal[0].detail, "fresh start after an idle break");
    EXPECT_EQ(rig.journal[0].time, back.timestamp);

    EXPECT_DOUBLE_EQ(rig.readAfter(60, 0).continuousActiveSeconds, 65);
    EXPECT_FALSE(rig.reader->brokeOnLastRead());
}

TEST(SignalReader, IdleOfExactlyTheBreakGapCountsAsAway) {
    ReaderRig rig;
    rig.readAfter(60, 0);
    EXPECT_DOUBLE_EQ(rig.readAfter(60, 180).continuousActiveSeconds, 0);
    rig.readAfter(60, 10);
    EXPECT_TRUE(rig.reader->brokeOnLastRead());
    EXPECT_EQ(rig.details(), std::vector<std::string>{"fresh start after an idle break"});
}

TEST(SignalReader, ALongGapBetweenReadsIsReportedAsAway) {
    ReaderRig rig;
    rig.readAfter(60, 0);
    auto sample = rig.readAfter(3700, 0);
    EXPECT_TRUE(rig.reader->brokeOnLastRead());
    EXPECT_DOUBLE_EQ(sample.continuousActiveSeconds, 0);
    EXPECT_EQ(rig.details(), std::vector<std::string>{"fresh start after 61m away (slept or closed)"});
    EXPECT_DOUBLE_EQ(rig.readAfter(60, 0).continuousActiveSeconds, 60);
}

TEST(SignalReader, ScreensOffForTheBreakGapBeforeTheFirstReadResetAsLocked) {
    ReaderRig rig;
    rig.clock.advance(30);
    rig.session.screensAsleep(true);
    auto sample = rig.readAfter(200, 200);
    EXPECT_TRUE(rig.reader->brokeOnLastRead());
    EXPECT_EQ(sample.displayState, DisplayState::displayAsleep);
    EXPECT_DOUBLE_EQ(sample.continuousActiveSeconds, 0);
    EXPECT_EQ(rig.details(), std::vector<std::string>{"fresh start after 3m locked"});
}

TEST(SignalReader, TheFirstCauseThatHoldsNamesTheReset) {
    // A gap that was also spent with the screens off is away, not locked.
    ReaderRig awayAndOff;
    awayAndOff.readAfter(60, 0);
    awayAndOff.session.screensAsleep(true);
    awayAndOff.readAfter(200, 0);
    EXPECT_EQ(awayAndOff.details(), std::vector<std::string>{"fresh start after 3m away (slept or closed)"});

    // Locked for the whole gap and back from an idle break in the same read: locked.
    ReaderRig lockedAndBack;
    lockedAndBack.readAfter(60, 0);
    lockedAndBack.readAfter(60, 200);
    lockedAndBack.session.sessionLocked(true);
    lockedAndBack.clock.advance(180);
    lockedAndBack.session.sessionLocked(false);
    lockedAndBack.readAfter(0, 2);
    EXPECT_EQ(lockedAndBack.details(), std::vector<std::string>{"fresh start after 3m locked"});
}

TEST(SignalReader, AnEpisodeOffBetweenFrequentReadsIsJudgedWholeWhenTheDisplayWakes) {
    // Whether the desktop can tell the idle time or not: a lock never reads as input.
    for (const bool idleKnown : {true, false}) {
        ReaderRig rig;
        rig.readAfter(60, 0);
        rig.session.sessionLocked(true);
        for (int minute = 1; minute <= 8; ++minute) {
            auto sample = rig.readAfter(60, idleKnown ? 60.0 * minute : 0);
            EXPECT_DOUBLE_EQ(sample.continuousActiveSeconds, 0);
            EXPECT_FALSE(rig.reader->brokeOnLastRead()) << minute;
        }
        rig.clock.advance(30);
        rig.session.sessionLocked(false);
        auto back = rig.readAfter(30, idleKnown ? 4 : 0);
        EXPECT_TRUE(rig.reader->brokeOnLastRead());
        EXPECT_EQ(back.displayState, DisplayState::awake);
        EXPECT_DOUBLE_EQ(back.continuousActiveSeconds, idleKnown ? 4 : 0);
        EXPECT_EQ(rig.details(), std::vector<std::string>{"fresh start after 8m locked"}) << idleKnown;
        // Counted once: the next short lock starts from nothing.
        rig.session.sessionLocked(true);
        rig.readAfter(60, 0);
        rig.session.sessionLocked(false);
        rig.readAfter(60, 0);
        EXPECT_FALSE(rig.reader->brokeOnLastRead());
    }
}

TEST(SignalReader, ALockedSessionReportsNoStretchEvenWithTheScreensAwake) {
    ReaderRig rig;
    rig.readAfter(60, 0);
    rig.session.sessionLocked(true);
    auto sample = rig.readAfter(60, 0);
    EXPECT_EQ(sample.displayState, DisplayState::locked);
    EXPECT_DOUBLE_EQ(sample.continuousActiveSeconds, 0);
    rig.clock.advance(30);
    rig.session.sessionLocked(false);
    // Locked for 60 s: under the gap, so the stretch goes on from where it began.
    auto after = rig.readAfter(30, 0);
    EXPECT_FALSE(rig.reader->brokeOnLastRead());
    EXPECT_DOUBLE_EQ(after.continuousActiveSeconds, 180);
}

TEST(SignalReader, CapsTheStretchAtSixHours) {
    ReaderRig rig;
    EXPECT_DOUBLE_EQ(rig.readAfter(21599, 0).continuousActiveSeconds, 21599);
    EXPECT_DOUBLE_EQ(rig.readAfter(60, 0).continuousActiveSeconds, 21600);
    EXPECT_DOUBLE_EQ(rig.readAfter(60, 0).continuousActiveSeconds, SignalReader::kMaxStretchSeconds);
}

TEST(SignalReader, CountsActivationsOfTheLastHourInclusive) {
    ReaderRig rig;
    rig.activations.activate();
    rig.clock.advance(1);
    rig.activations.activate();
    EXPECT_EQ(rig.readAfter(3599, 0).appSwitchesLastHour, 2);  // the first is exactly 3600 s old
    EXPECT_EQ(rig.readAfter(0.5, 0).appSwitchesLastHour, 1);
    EXPECT_EQ(rig.readAfter(1, 0).appSwitchesLastHour, 0);
}

TEST(SignalReader, AResetForgetsTheSwitches) {
    ReaderRig rig;
    for (int i = 0; i < 3; ++i)
        rig.activations.activate();
    EXPECT_EQ(rig.readAfter(60, 0).appSwitchesLastHour, 3);
    rig.activations.activate();
    EXPECT_EQ(rig.readAfter(600, 0).appSwitchesLastHour, 0);
    EXPECT_TRUE(rig.reader->brokeOnLastRead());
}

TEST(SignalReader, ReadsTheLocalHourAndAnUnknownIdleAsZero) {
    test::ScopedTimeZone zone("Europe/Berlin");
    ReaderRig rig;
    rig.clock.set(at("2026-01-05T13:45:30Z"));
    rig.idle.seconds = std::nullopt;
    auto sample = rig.reader->read();
    EXPECT_DOUBLE_EQ(sample.localHour, 14.75);
    EXPECT_DOUBLE_EQ(sample.secondsSinceLastInput, 0);
}

TEST(SignalReader, StopsListeningWhenGone) {
    ReaderRig rig;
    EXPECT_TRUE(rig.activations.hasListeners());
    rig.reader.reset();
    EXPECT_FALSE(rig.activations.hasListeners());
    rig.activations.activate();
    rig.session.sessionLocked(true);
}

}  // namespace
}  // namespace quillfen
