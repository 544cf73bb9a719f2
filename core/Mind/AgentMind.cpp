#include "Mind/AgentMind.h"

namespace quillfen {

AgentMind::~AgentMind() = default;

MindResult<std::string> AgentMind::reflect(const AgentSummary&, std::stop_token) const {
    return MindError::transport(std::string(kReflectUnsupported));
}

}  // namespace quillfen
