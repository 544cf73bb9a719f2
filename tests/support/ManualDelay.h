#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "platform/Delay.h"

namespace quillfen::test {

// A Delay that the test moves on by hand: a step runs when the time passed reaches it, never on
// its own.
class ManualDelay {
public:
    operator Delay() {
        return [state = state_](double seconds, std::function<void()> step) {
            const auto id = state->next++;
            state->steps.emplace(id, Step{state->elapsed + seconds, std::move(step)});
            std::weak_ptr<State> weak = state;
            return Subscription([weak, id] {
                if (auto s = weak.lock()) s->steps.erase(id);
            });
        };
    }

    // Moves time on and runs what falls due, in the order it falls due.
    void pass(double seconds) {
        state_->elapsed += seconds;
        for (;;) {
            auto due =
                std::min_element(state_->steps.begin(), state_->steps.end(),
                                 [](const auto& a, const auto& b) { return a.second.at < b.second.at; });
            if (due == state_->steps.end() || due->second.at > state_->elapsed) return;
            auto step = std::move(due->second.run);
            state_->steps.erase(due);
            step();
        }
    }

private:
    struct Step {
        double at;
        std::function<void()> run;
    };
    struct State {
        double elapsed = 0;
        std::uint64_t next = 0;
        std::map<std::uint64_t, Step> steps;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace quillfen::test
