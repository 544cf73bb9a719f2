#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "Mind/AgentMind.h"
#include "support/Hold.h"

namespace quillfen::test {

// A mind that follows a script: every call first waits its delay, or until the test lets its hold
// go, then answers the same way. The wait ends early when the caller asks to stop, unless the mind
// is told to ignore that. Counts its calls and lets a test wait until no call is running, so that
// a test leaves no late call behind.
class ScriptedMind final : public AgentMind {
public:
    // Thrown as it is, to stand for a failure that is not a MindError.
    struct Thrown {
        std::string what;
    };
    // Thrown as a MindError rather than returned.
    struct ThrownMindError {
        MindError error;
    };
    using Answer = std::variant<MindDecision, std::string, MindError, Thrown, ThrownMindError>;

    // decide and decideRich give the decision; reflect fails as a mind that cannot reflect.
    static ScriptedMind deciding(MindDecision decision);
    // reflect gives the line; decide and decideRich choose silence.
    static ScriptedMind reflecting(std::string line);
    // Every call fails with the error, returned as a value.
    static ScriptedMind failing(MindError error);
    // Every call throws std::runtime_error carrying `what`.
    static ScriptedMind throwing(std::string what);
    // Every call throws the error.
    static ScriptedMind throwingMindError(MindError error);

    // Each call waits this long before it answers.
    ScriptedMind& after(std::chrono::milliseconds delay);
    // Each call waits, instead, until the test lets the hold go.
    ScriptedMind& heldBy(std::shared_ptr<Hold> hold);
    // A request to stop is never heeded: the call waits out its delay or its hold.
    ScriptedMind& ignoringStop();

    ScriptedMind(const ScriptedMind& other);

    MindResult<MindDecision> decide(const AgentSummary& summary, std::stop_token stop) const override;
    MindResult<MindDecision> decideRich(const AgentContext& context, std::stop_token stop) const override;
    MindResult<std::string> reflect(const AgentSummary& summary, std::stop_token stop) const override;

    int calls() const;
    // Calls that saw the caller ask them to stop.
    int stoppedCalls() const;
    // Whether every call has ended within `limit`, `calls` calls at least having come: a call's
    // thread may start a little after its caller has timed out.
    bool waitUntilIdle(std::chrono::milliseconds limit, int calls = 0) const;

private:
    explicit ScriptedMind(Answer answer);

    // Waits out the delay; whether the caller asked to stop meanwhile.
    bool wait(const std::stop_token& stop) const;
    template <typename T>
    MindResult<T> answer(const std::stop_token& stop) const;

    Answer answer_;
    std::chrono::milliseconds delay_{0};
    std::shared_ptr<Hold> hold_;
    bool ignoresStop_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable int calls_ = 0;
    mutable int running_ = 0;
    mutable int stopped_ = 0;
};

}  // namespace quillfen::test
