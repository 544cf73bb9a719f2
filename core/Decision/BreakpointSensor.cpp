#include "Decision/BreakpointSensor.h"

#include "Support/EnumTable.h"

namespace quillfen {

namespace {

constexpr EnumName<BreakpointKind> kBreakpointKindNames[] = {
    {BreakpointKind::sessionEnd, "sessionEnd"},
    {BreakpointKind::buildWait, "buildWait"},
    {BreakpointKind::idleGap, "idleGap"},
    {BreakpointKind::activeFlow, "activeFlow"},
    {BreakpointKind::none, "none"},
};

}  // namespace

std::string_view toString(BreakpointKind kind) {
    return enumName(kind, kBreakpointKindNames);
}
std::optional<BreakpointKind> breakpointKindFrom(std::string_view raw) {
    return enumFromName(raw, kBreakpointKindNames);
}

bool isFireable(BreakpointKind kind) {
    return kind == BreakpointKind::sessionEnd || kind == BreakpointKind::buildWait ||
           kind == BreakpointKind::idleGap;
}

BreakpointKind BreakpointSensor::classify(const SignalSample& sample, const CoarseState& state,
                                          const BreakpointContext& context, const BreakpointThresholds& t) {
    const double idle = sample.secondsSinceLastInput;
    if (idle < t.idleGapSeconds && state.attention == AttentionState::focused &&
        state.continuousActiveMinutes >= t.deepFlowMinutes) {
        return BreakpointKind::activeFlow;
    }
    if (idle >= t.sessionEndIdleSeconds) return BreakpointKind::sessionEnd;
    if (context.machineBusyUserWaiting && idle <= t.buildWaitMaxIdleSeconds) return BreakpointKind::buildWait;
    if (idle >= t.idleGapSeconds) return BreakpointKind::idleGap;
    return BreakpointKind::none;
}

}  // namespace quillfen
