#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Config/AppConfig.h"
#include "NudgeEngine.h"
#include "Signals/AIToolReader.h"
#include "Signals/ClaudeBody.h"
#include "Signals/CodexActivityReader.h"

namespace quillfen {

// One tick of the engine, as the controller calls it off the UI thread.
using EngineTick =
    std::function<TickResult(const SignalSample& sample, const std::optional<CoarseLocation>& location,
                             Restraint restraint, Opportunity opportunity)>;

// What the controller builds an engine over: its configuration, its stores and its bridge.
struct EngineParts {
    AppConfig config;
    FarlumeClient client;
    std::shared_ptr<NudgeBudget> budget;
    std::shared_ptr<SignalLog> log;
    std::optional<MindBridge> bridge;
    std::shared_ptr<NudgeOutcomeTracker> outcomeTracker;
    Clock now;
    std::shared_ptr<LastFire> lastFire;
};

// How long each call of the mind may take, in seconds. A nudge's decision waits as long as the
// configuration says.
struct MindTimeouts {
    // The nudges' mind: its child process, and the week's reflection.
    double process = 120.0;
    double reflection = 90.0;
    // The explicit ask waits longer than a nudge: the user asked, and watches the answer come.
    // Its child is ended before the ask gives up on it.
    double askProcess = 90.0;
    double askDecision = 92.0;
    double askReflection = 45.0;
};

// The application's own: a `NudgeEngine`, and the readers of the agents' logs in the user's home.
namespace RealCore {
EngineTick makeEngine(EngineParts parts);
ClaudeBody readClaudeBody(TimePoint now, int days);
AIToolSignal readAITools(TimePoint now);
CodexActivitySnapshot readCodex(TimePoint now, double staleAfter);
}  // namespace RealCore

// The parts of the core the controller is given rather than builds: the engine, the readers of
// the coding agents' logs and the mind's time-outs. The real ones unless a test hands in its
// own, to see what the controller gives them. The engine's ticks and the readers run on
// worker threads, several at once.
struct CoreParts {
    std::function<EngineTick(EngineParts)> makeEngine = RealCore::makeEngine;
    std::function<ClaudeBody(TimePoint now, int days)> readClaudeBody = RealCore::readClaudeBody;
    std::function<AIToolSignal(TimePoint now)> readAITools = RealCore::readAITools;
    // A task whose newest event is older than `staleAfter` seconds no longer runs.
    std::function<CodexActivitySnapshot(TimePoint now, double staleAfter)> readCodex = RealCore::readCodex;
    MindTimeouts mindTimeouts;
};

}  // namespace quillfen
