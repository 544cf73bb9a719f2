#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Config/AppConfig.h"
#include "Contract/AgentSummary.h"
#include "Mind/VoiceGuard.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// A tenant's speaking budget.
struct Cadence {
    int maxPerWeek = 0;
    DeciderThresholds decider;
    bool operator==(const Cadence&) const = default;
};

// The persona the cloud mind speaks as: who it is, what the claude tool is run with, how its week
// is summarised, which line stands in for it and the voice check its lines must pass. The bridge
// reads renderLocalLine and guardrail, the sidecar mind personaPath and model; the rest describes.
// Every function is called from several threads at once.
struct AgentTenant {
    // The signal log's samples in stored order, the time, the nudges already given and the sky.
    using SummaryBuilder =
        std::function<AgentSummary(const std::vector<SignalSample>& samples, TimePoint now,
                                   int nudgesAlreadyThisWeek, std::optional<bool> skyConfirmedGood)>;
    using LineRenderer = std::function<std::string(const AgentSummary&)>;
    using Guardrail = std::function<VoiceCheck(std::string_view line)>;

    std::string id;
    std::string displayName;
    std::string personaPath;
    std::string model;
    SummaryBuilder buildSummary;
    LineRenderer renderLocalLine;
    Cadence cadence;
    Guardrail guardrail;

    // The one tenant, made afresh on every call: its persona path follows HOME as it is now.
    static AgentTenant ilvane();
};

}  // namespace quillfen
