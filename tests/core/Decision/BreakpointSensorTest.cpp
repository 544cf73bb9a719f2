#include <gtest/gtest.h>

#include "Decision/BreakpointSensor.h"
#include "Decision/StateMapper.h"

namespace quillfen {
namespace {

struct Case {
    double idle;
    std::int64_t switches;
    int minutes;
    bool busy;
    BreakpointKind expected;
};

TEST(BreakpointSensor, ClassifiesInOrder) {
    const Case cases[] = {
        {10, 0, 30, false, BreakpointKind::activeFlow}, {10, 0, 30, true, BreakpointKind::activeFlow},
        {10, 0, 24, false, BreakpointKind::none},       {200, 0, 30, true, BreakpointKind::sessionEnd},
        {45, 0, 30, true, BreakpointKind::buildWait},   {60, 0, 30, true, BreakpointKind::idleGap},
        {60, 0, 30, false, BreakpointKind::idleGap},    {10, 20, 30, true, BreakpointKind::buildWait},
        {10, 20, 30, false, BreakpointKind::none},      {180, 0, 5, false, BreakpointKind::sessionEnd},
        {179.9, 0, 5, false, BreakpointKind::idleGap},  {45, 0, 5, false, BreakpointKind::idleGap},
    };
    for (const auto& c : cases) {
        SignalSample s;
        s.secondsSinceLastInput = c.idle;
        s.appSwitchesLastHour = c.switches;
        s.continuousActiveSeconds = c.minutes * 60.0;
        auto state = StateMapper::map(s, MapperThresholds::defaults());
        EXPECT_EQ(
            BreakpointSensor::classify(s, state, BreakpointContext{c.busy}, BreakpointThresholds::defaults()),
            c.expected)
            << "idle " << c.idle << " switches " << c.switches << " minutes " << c.minutes << " busy "
            << c.busy;
    }
}

TEST(BreakpointKind, OnlyPausesAreFireableAndRawValuesRoundTrip) {
    for (auto kind : kAllBreakpointKinds) {
        EXPECT_EQ(breakpointKindFrom(toString(kind)), kind);
        const bool pause = kind == BreakpointKind::sessionEnd || kind == BreakpointKind::buildWait ||
                           kind == BreakpointKind::idleGap;
        EXPECT_EQ(isFireable(kind), pause);
    }
    EXPECT_FALSE(breakpointKindFrom("SessionEnd"));
}

}  // namespace
}  // namespace quillfen
