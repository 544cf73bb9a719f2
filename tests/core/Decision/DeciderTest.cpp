#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Decision/Decider.h"
#include "Decision/StateMapper.h"

namespace quillfen {
namespace {

SignalSample sample(double stretchSeconds, std::int64_t switches, double idle = 5, double hour = 12) {
    SignalSample s;
    s.continuousActiveSeconds = stretchSeconds;
    s.appSwitchesLastHour = switches;
    s.secondsSinceLastInput = idle;
    s.localHour = hour;
    return s;
}

CoarseState mapped(double stretchSeconds, std::int64_t switches, double idle = 5, double hour = 12) {
    return StateMapper::map(sample(stretchSeconds, switches, idle, hour), MapperThresholds::defaults());
}

TEST(StateMapper, MinutesAndAttention) {
    EXPECT_EQ(mapped(7199, 0).continuousActiveMinutes, 119);
    EXPECT_EQ(mapped(7200, 0).continuousActiveMinutes, 120);
    EXPECT_EQ(mapped(100, 40, 180).attention, AttentionState::idle);
    EXPECT_EQ(mapped(100, 12, 179.9).attention, AttentionState::fragmented);
    EXPECT_EQ(mapped(100, 11, 179.9).attention, AttentionState::focused);
    auto state = mapped(600, 3, 5, 14.75);
    EXPECT_EQ(state.appSwitchesLastHour, 3);
    EXPECT_DOUBLE_EQ(state.localHour, 14.75);
}

TEST(StateMapper, LoadTable) {
    struct Row {
        int minutes;
        Load focused, fragmented, idle;
    };
    const Row rows[] = {
        {0, Load::low, Load::low, Load::low},         {36, Load::low, Load::low, Load::low},
        {37, Load::low, Load::medium, Load::low},     {74, Load::low, Load::medium, Load::low},
        {75, Load::medium, Load::high, Load::medium}, {149, Load::medium, Load::high, Load::medium},
        {150, Load::high, Load::high, Load::high},    {400, Load::high, Load::high, Load::high},
    };
    for (const auto& r : rows) {
        const double secs = r.minutes * 60.0;
        EXPECT_EQ(mapped(secs, 0).load, r.focused) << r.minutes;
        EXPECT_EQ(mapped(secs, 12).load, r.fragmented) << r.minutes;
        EXPECT_EQ(mapped(secs, 0, 500).load, r.idle) << r.minutes;
    }
}

TEST(StateMapper, StoredJunkNeverStopsTheProgram) {
    EXPECT_EQ(StateMapper::wholeMinutes(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(StateMapper::wholeMinutes(std::numeric_limits<double>::infinity()),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(StateMapper::wholeMinutes(-std::numeric_limits<double>::infinity()),
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(StateMapper::wholeMinutes(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(StateMapper::wholeMinutes(-90), -1);
    EXPECT_EQ(mapped(std::numeric_limits<double>::quiet_NaN(), 0).load, Load::low);
}

Outcome decide(const CoarseState& s, int fired, const DeciderThresholds& t = DeciderThresholds::defaults()) {
    return Decider::decide(s, fired, t);
}

Outcome silent(SilenceReason r) {
    return StaySilent{r};
}

TEST(Decider, TheFirstReasonThatHoldsWins) {
    const auto idleAtNight = mapped(200 * 60, 20, 500, 23);
    EXPECT_EQ(decide(idleAtNight, 2), silent(SilenceReason::rateCapReached));
    EXPECT_EQ(decide(idleAtNight, 1), silent(SilenceReason::userIsAway));
    EXPECT_EQ(decide(mapped(100 * 60, 20, 5, 23), 0), silent(SilenceReason::notEarnedYet));
    EXPECT_EQ(decide(mapped(130 * 60, 0, 5, 12), 0), silent(SilenceReason::notEarnedYet));
    EXPECT_EQ(decide(mapped(130 * 60, 20, 5, 6.98), 0), silent(SilenceReason::nighttime));
    EXPECT_EQ(decide(mapped(130 * 60, 20, 5, 20.0), 0), silent(SilenceReason::nighttime));
    EXPECT_EQ(decide(mapped(130 * 60, 20, 5, std::nan("")), 0), silent(SilenceReason::nighttime));
    EXPECT_EQ(decide(mapped(130 * 60, 20, 5, 19.99), 0),
              Outcome(OutsideNow{NudgeCandidate{130, 20, 19.99, true}}));
    EXPECT_EQ(decide(mapped(165 * 60, 20, 5, 12), 0),
              Outcome(OutsideNow{NudgeCandidate{165, 20, 12, false}}));
    EXPECT_EQ(decide(mapped(150 * 60, 0, 5, 7.0), 1), Outcome(OutsideNow{NudgeCandidate{150, 0, 7.0, true}}));
}

TEST(Decider, AStretchThatHasFiredWaitsAsLongAgainForTheNext) {
    const auto longDay = mapped(300 * 60, 20);
    const struct {
        std::optional<std::int64_t> sinceFire;
        double hour;
        Outcome expected;
    } cases[] = {
        {std::nullopt, 12, OutsideNow{NudgeCandidate{300, 20, 12, false}}},
        {119, 12, silent(SilenceReason::notEarnedYet)},
        {120, 12, OutsideNow{NudgeCandidate{300, 20, 12, false}}},
        // Not earned yet comes before the night, as a short stretch does.
        {60, 21, silent(SilenceReason::notEarnedYet)},
    };
    for (const auto& c : cases) {
        auto state = longDay;
        state.localHour = c.hour;
        EXPECT_EQ(Decider::decide(state, 1, DeciderThresholds::defaults(), c.sinceFire), c.expected)
            << c.sinceFire.value_or(-1);
    }
}

TEST(Decider, ACapOfZeroSilencesEveryMoment) {
    auto t = DeciderThresholds::defaults();
    t.maxNudgesPerDay = 0;
    for (const auto& s : {mapped(0, 0), mapped(200 * 60, 30), mapped(200 * 60, 30, 500, 3)}) {
        EXPECT_EQ(decide(s, 0, t), silent(SilenceReason::rateCapReached));
    }
}

TEST(LocalBackstop, CapsTheDayAndSaysWhy) {
    LocalBackstop negative(-1);
    EXPECT_EQ(negative.dailyCap(), 0);
    EXPECT_FALSE(negative.mayFire(0));

    LocalBackstop backstop;
    EXPECT_EQ(backstop.dailyCap(), 3);
    EXPECT_TRUE(backstop.mayFire(2));
    EXPECT_FALSE(backstop.denialReason(2));
    EXPECT_EQ(backstop.denialReason(3),
              "reached today's safety ceiling (3) \u2014 the agent rests, never nags");
    EXPECT_EQ(silenceReasonFrom(toString(SilenceReason::waitingForCodex)), SilenceReason::waitingForCodex);
}

}  // namespace
}  // namespace quillfen
