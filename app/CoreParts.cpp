#include "CoreParts.h"

#include "Signals/ClaudeBodyReader.h"

namespace quillfen::RealCore {

EngineTick makeEngine(EngineParts parts) {
    auto engine = std::make_shared<NudgeEngine>(std::move(parts.config), std::move(parts.client),
                                                std::move(parts.budget), std::move(parts.log),
                                                std::move(parts.bridge), std::move(parts.outcomeTracker),
                                                std::move(parts.now), std::move(parts.lastFire));
    // Every copy ticks the one engine, whose ticks run one after the other.
    return [engine](const SignalSample& sample, const std::optional<CoarseLocation>& location,
                    Restraint restraint, Opportunity opportunity) {
        return engine->tick(sample, location, restraint, opportunity);
    };
}

ClaudeBody readClaudeBody(TimePoint now, int days) {
    return ClaudeBodyReader::read(now, days, std::nullopt);
}

AIToolSignal readAITools(TimePoint now) {
    return AIToolReader::read(now, std::nullopt);
}

CodexActivitySnapshot readCodex(TimePoint now, double staleAfter) {
    return CodexActivityReader::readSnapshot(now, std::nullopt, staleAfter);
}

}  // namespace quillfen::RealCore
