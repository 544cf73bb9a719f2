#include "platform/linux/IdleTimeLinux.h"

#include <vector>

#include "Support/SystemLog.h"
#include "platform/linux/WaylandConnection.h"

namespace quillfen {

Subscription IdleSource::whenAnswered(std::function<void()> step) {
    if (answer_ == Answer::pending) return answered_.add(std::move(step));
    step();
    return {};
}

void IdleSource::answered(Answer answer) {
    if (answer_ != Answer::pending) return;
    answer_ = answer;
    answered_.notify();
}

namespace {

using IdleSourceMaker = std::function<std::unique_ptr<IdleSource>()>;

class ChosenIdleTime final : public IdleTime {
public:
    explicit ChosenIdleTime(std::vector<IdleSourceMaker> ways) : ways_(std::move(ways)) { askNext(); }

    std::optional<double> secondsSinceLastInput() override {
        retired_.clear();
        if (asking_) return 0.0;
        if (!chosen_) return std::nullopt;
        return chosen_->secondsSinceLastInput();
    }

private:
    void askNext() {
        while (next_ < ways_.size()) {
            candidate_ = ways_[next_++]();
            if (!candidate_) continue;
            if (candidate_->answer() == IdleSource::Answer::pending) {
                waiting_ = candidate_->whenAnswered([this] {
                    if (!take()) askNext();
                });
                return;
            }
            if (take()) return;
        }
        asking_ = false;
    }

    // Keeps the way asked when it answers, and says whether it did. One that does not is let go
    // with its watches and connections at the next read: its own call is still running now.
    bool take() {
        if (candidate_->answer() != IdleSource::Answer::answers) {
            retired_.push_back(std::move(candidate_));
            return false;
        }
        chosen_ = std::move(candidate_);
        asking_ = false;
        SystemLog::info("sensing", "idle time from " + chosen_->name());
        return true;
    }

    std::vector<IdleSourceMaker> ways_;
    std::size_t next_ = 0;
    bool asking_ = true;
    std::unique_ptr<IdleSource> candidate_;
    std::unique_ptr<IdleSource> chosen_;
    std::vector<std::unique_ptr<IdleSource>> retired_;
    Subscription waiting_;
};

std::vector<IdleSourceMaker> idleSourcesFor(const IdleTimeParts& parts) {
    std::vector<IdleSourceMaker> ways;
    const auto mutter = [parts] {
        return makeMutterIdleTime(parts.sessionBus, parts.now, parts.delay, parts.answerWithinSeconds,
                                  parts.notificationTimeoutSeconds);
    };
    if (parts.session == SessionType::wayland) {
        if (parts.wayland) {
            ways.push_back([parts] {
                return makeExtIdleNotifyIdleTime(parts.wayland, parts.now, parts.notificationTimeoutSeconds);
            });
            ways.push_back([parts] {
                return makeKWinIdleTime(parts.wayland, parts.now, parts.notificationTimeoutSeconds);
            });
        }
        ways.push_back(mutter);
    } else {
        ways.push_back(mutter);
        ways.push_back([parts] { return makeX11IdleTime(parts.x11Display); });
    }
    return ways;
}

}  // namespace

std::unique_ptr<IdleTime> makeIdleTime(const IdleTimeParts& parts) {
    return std::make_unique<ChosenIdleTime>(idleSourcesFor(parts));
}

}  // namespace quillfen
