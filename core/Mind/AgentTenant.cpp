#include "Mind/AgentTenant.h"

#include "Mind/ClaudeSidecarMind.h"
#include "Mind/LocalLine.h"

namespace quillfen {

AgentTenant AgentTenant::ilvane() {
    return AgentTenant{
        "ilvane",
        "Ostrel agent",
        ClaudeSidecarMind::defaultPersonaPath(),
        "haiku",
        [](const std::vector<SignalSample>& samples, TimePoint now, int nudgesAlreadyThisWeek,
           std::optional<bool> skyConfirmedGood) {
            return AgentSummary::build(samples, now, AgentProfile::work, nudgesAlreadyThisWeek,
                                       skyConfirmedGood);
        },
        [](const AgentSummary& summary) { return LocalLine::line(summary); },
        Cadence{2, DeciderThresholds{120, 2, 7.0, 20.0, 165}},
        [](std::string_view line) { return VoiceGuard::check(line); },
    };
}

}  // namespace quillfen
