#pragma once

#include <optional>
#include <string_view>

#include "Signals/SignalSample.h"

namespace quillfen {

// The kind of pause the user is in at the moment of a sample.
enum class BreakpointKind { sessionEnd, buildWait, idleGap, activeFlow, none };

inline constexpr BreakpointKind kAllBreakpointKinds[] = {BreakpointKind::sessionEnd,
                                                         BreakpointKind::buildWait, BreakpointKind::idleGap,
                                                         BreakpointKind::activeFlow, BreakpointKind::none};

std::string_view toString(BreakpointKind);
std::optional<BreakpointKind> breakpointKindFrom(std::string_view);
bool isFireable(BreakpointKind);

struct BreakpointContext {
    bool machineBusyUserWaiting = false;
    static BreakpointContext none() { return {}; }
};

struct BreakpointThresholds {
    double sessionEndIdleSeconds = 180.0;
    double idleGapSeconds = 45.0;
    int deepFlowMinutes = 25;
    double buildWaitMaxIdleSeconds = 45.0;

    static BreakpointThresholds defaults() { return {}; }
    bool operator==(const BreakpointThresholds&) const = default;
};

namespace BreakpointSensor {
BreakpointKind classify(const SignalSample& sample, const CoarseState& state,
                        const BreakpointContext& context, const BreakpointThresholds& thresholds);
}  // namespace BreakpointSensor

}  // namespace quillfen
