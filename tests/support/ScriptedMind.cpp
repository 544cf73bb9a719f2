#include "ScriptedMind.h"

#include <stop_token>
#include <thread>

namespace quillfen::test {

ScriptedMind::ScriptedMind(Answer answer) : answer_(std::move(answer)) {}

ScriptedMind::ScriptedMind(const ScriptedMind& other)
    : answer_(other.answer_), delay_(other.delay_), hold_(other.hold_), ignoresStop_(other.ignoresStop_) {}

ScriptedMind ScriptedMind::deciding(MindDecision decision) {
    return ScriptedMind(Answer(std::move(decision)));
}
ScriptedMind ScriptedMind::reflecting(std::string line) {
    return ScriptedMind(Answer(std::move(line)));
}
ScriptedMind ScriptedMind::failing(MindError error) {
    return ScriptedMind(Answer(std::move(error)));
}
ScriptedMind ScriptedMind::throwing(std::string what) {
    return ScriptedMind(Answer(Thrown{std::move(what)}));
}
ScriptedMind ScriptedMind::throwingMindError(MindError error) {
    return ScriptedMind(Answer(ThrownMindError{std::move(error)}));
}

ScriptedMind& ScriptedMind::after(std::chrono::milliseconds delay) {
    delay_ = delay;
    return *this;
}
ScriptedMind& ScriptedMind::heldBy(std::shared_ptr<Hold> hold) {
    hold_ = std::move(hold);
    return *this;
}
ScriptedMind& ScriptedMind::ignoringStop() {
    ignoresStop_ = true;
    return *this;
}

bool ScriptedMind::wait(const std::stop_token& stop) const {
    if (hold_) {
        hold_->wait(ignoresStop_ ? std::stop_token() : stop);
        return stop.stop_requested();
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + delay_;
    const auto heedFrom = ignoresStop_ ? end : start;
    // Wakes on a stop request, and heeds it unless told not to. The lock is taken after the
    // callback is set up and let go before it is torn down, which waits for a running callback
    // that may want the lock.
    std::condition_variable_any stopped;
    std::stop_callback wake(stop, [&] {
        std::lock_guard inner(mutex_);
        stopped.notify_all();
    });
    std::unique_lock lock(mutex_);
    while (std::chrono::steady_clock::now() < end) {
        if (stop.stop_requested() && std::chrono::steady_clock::now() >= heedFrom) return true;
        const auto next = stop.stop_requested() ? std::min(end, heedFrom) : end;
        stopped.wait_until(lock, next);
    }
    return stop.stop_requested();
}

template <typename T>
MindResult<T> ScriptedMind::answer(const std::stop_token& stop) const {
    {
        std::lock_guard lock(mutex_);
        ++calls_;
        ++running_;
    }
    const bool stopAsked = wait(stop);
    struct Leave {
        const ScriptedMind& mind;
        bool stopAsked;
        ~Leave() {
            std::lock_guard lock(mind.mutex_);
            --mind.running_;
            if (stopAsked) ++mind.stopped_;
            mind.changed_.notify_all();
        }
    } leave{*this, stopAsked};

    if (const auto* thrown = std::get_if<Thrown>(&answer_)) throw std::runtime_error(thrown->what);
    if (const auto* thrown = std::get_if<ThrownMindError>(&answer_)) throw thrown->error;
    if (const auto* error = std::get_if<MindError>(&answer_)) return *error;
    if constexpr (std::is_same_v<T, MindDecision>) {
        if (const auto* decision = std::get_if<MindDecision>(&answer_)) return *decision;
        return MindDecision::staySilent("");
    } else {
        if (const auto* line = std::get_if<std::string>(&answer_)) return *line;
        return MindError::transport(std::string(kReflectUnsupported));
    }
}

MindResult<MindDecision> ScriptedMind::decide(const AgentSummary&, std::stop_token stop) const {
    return answer<MindDecision>(stop);
}
MindResult<MindDecision> ScriptedMind::decideRich(const AgentContext&, std::stop_token stop) const {
    return answer<MindDecision>(stop);
}
MindResult<std::string> ScriptedMind::reflect(const AgentSummary&, std::stop_token stop) const {
    return answer<std::string>(stop);
}

int ScriptedMind::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}
int ScriptedMind::stoppedCalls() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}
bool ScriptedMind::waitUntilIdle(std::chrono::milliseconds limit, int calls) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return calls_ >= calls && running_ == 0; });
}

}  // namespace quillfen::test
