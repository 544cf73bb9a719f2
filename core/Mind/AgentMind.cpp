#include "Mind/AgentMind.h"

#include <utility>

#include "Contract/AgentContext.h"

namespace quillfen {

AgentMind::~AgentMind() = default;

MindResult<MindDecision> AgentMind::decideRich(const AgentContext& context, std::stop_token stop) const {
    return decide(context.summary, std::move(stop));
}

MindResult<std::string> AgentMind::reflect(const AgentSummary&, std::stop_token) const {
    return MindError::transport(std::string(kReflectUnsupported));
}

}  // namespace quillfen
