#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace quillfen {

// Keeps a listener registered for as long as it lives. It may outlive the source it came
// from: cancelling then does nothing.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
    }

private:
    std::function<void()> cancel_;
};

// The listeners of one kind of event, for the platform layers and their test doubles.
// Used on one thread; a listener may cancel itself (or another) while being called.
template <typename... Args>
class ListenerList {
public:
    using Listener = std::function<void(Args...)>;

    Subscription add(Listener listener) {
        auto id = state_->next++;
        state_->listeners.emplace(id, std::make_shared<Listener>(std::move(listener)));
        std::weak_ptr<State> weak = state_;
        return Subscription([weak, id] {
            if (auto state = weak.lock()) state->listeners.erase(id);
        });
    }

    void notify(Args... args) const {
        std::vector<std::pair<std::uint64_t, std::shared_ptr<Listener>>> snapshot(state_->listeners.begin(),
                                                                                  state_->listeners.end());
        for (const auto& [id, listener] : snapshot) {
            if (state_->listeners.count(id) != 0) (*listener)(args...);
        }
    }

    bool empty() const { return state_->listeners.empty(); }

private:
    struct State {
        std::uint64_t next = 0;
        std::map<std::uint64_t, std::shared_ptr<Listener>> listeners;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace quillfen
