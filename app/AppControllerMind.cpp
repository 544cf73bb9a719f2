#include "AppController.h"
#include "Log/DecisionLog.h"

// The mind's one line of reflection on the week, asked again only when the week as the mind
// sees it has changed, and never twice at once.

namespace quillfen {

std::string AppController::reflectionKey(const AgentSummary& summary) {
    const auto& week = summary.summary;
    return std::to_string(week.longAfternoonsThisWeek) + "." + std::to_string(week.fragmentedAfternoonsThisWeek) +
           "." + std::string(toString(week.today.continuousScreenBand)) + "." +
           std::string(toString(week.today.partOfDay)) + "." + std::string(toString(week.today.attentionState)) +
           "." + std::to_string(week.nudgesAlreadyThisWeek);
}

void AppController::refreshGeneratedReflection(const AgentSummary& summary) {
    if (!bridge_ || !config_.cloudMindEnabled) return;
    std::string key = reflectionKey(summary);
    if (reflectionKey_ == key) return;
    // A reflection under way is not replaced, and this week is not queued behind it: the next
    // publication asks again if the week still differs.
    if (reflectionInFlight_) return;
    QPointer<AppController> self(this);
    const MindBridge bridge = *bridge_;
    // Without a thread the key is not kept: the same week is asked again at the next occasion.
    reflectionInFlight_ = work_->run<ReflectionResult>(
        "the reflection",
        [bridge, summary](std::stop_token) { return bridge.reflect(summary); },
        [self, key = std::move(key)](ReflectionResult result) {
            if (!self) return;
            self->reflectionInFlight_ = false;
            // Kept also without a line: a week the mind failed on is not asked again until it changes.
            self->reflectionKey_ = key;
            self->generatedReflection_ = result.line;
            DecisionLog::append("reflect", result.line ? "mind: " + *result.line : result.note, self->desktop_.now());
            self->inspectModel_.setReflectionSource(result.note);
            self->publishBody();
        });
}

}  // namespace quillfen
