#include "UI/AnimationDriver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace quillfen {

struct AnimationDriver::Handle::Shared {
    AnimationDriver* driver = nullptr;
};

MotionClock steadyMotionClock() {
    return [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
}

AnimationDriver::AnimationDriver(MotionClock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)), shared_(std::make_shared<Handle::Shared>()) {
    shared_->driver = this;
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        ++wakes_;
        advance();
    });
}

AnimationDriver::~AnimationDriver() {
    shared_->driver = nullptr;
}

AnimationDriver& AnimationDriver::shared() {
    // Lives as long as the process; its timer belongs to the main thread.
    static auto* driver = new AnimationDriver();
    return *driver;
}

AnimationDriver::Handle::Handle(Handle&& other) noexcept
    : shared_(std::move(other.shared_)), id_(std::exchange(other.id_, 0)) {}

AnimationDriver::Handle& AnimationDriver::Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        reset();
        shared_ = std::move(other.shared_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void AnimationDriver::Handle::reset() {
    if (id_ == 0) return;
    if (auto shared = shared_.lock(); shared && shared->driver) {
        shared->driver->motions_.erase(id_);
        shared->driver->steps_.erase(id_);
        if (!shared->driver->processing_) shared->driver->schedule();
    }
    id_ = 0;
    shared_.reset();
}

bool AnimationDriver::Handle::active() const {
    if (id_ == 0) return false;
    auto shared = shared_.lock();
    if (!shared || !shared->driver) return false;
    return shared->driver->motions_.count(id_) != 0 || shared->driver->steps_.count(id_) != 0;
}

double AnimationDriver::now() const {
    return processing_ ? current_ : clock_();
}

bool AnimationDriver::idle() const {
    return motions_.empty() && steps_.empty();
}

bool AnimationDriver::animating() const {
    return !motions_.empty();
}

AnimationDriver::Handle AnimationDriver::animate(double from, double to, const Animation& animation,
                                                 std::function<void(double)> apply,
                                                 std::function<void()> finished, double frameInterval) {
    std::uint64_t id = nextId_++;
    Motion m;
    m.from = from;
    m.to = to;
    m.start = now();
    m.animation = animation;
    m.frameInterval = std::max(frameInterval, 1.0 / 120.0);
    m.apply = std::move(apply);
    m.finished = std::move(finished);
    if (!(animation.duration > 0)) {
        // Nothing to time: the end at once, as a finished motion.
        if (m.apply) m.apply(to);
        if (m.finished) m.finished();
        return {};
    }
    motions_.emplace(id, std::move(m));
    if (!processing_) schedule();
    return Handle(shared_, id);
}

AnimationDriver::Handle AnimationDriver::after(double seconds, std::function<void()> step) {
    std::uint64_t id = nextId_++;
    steps_.emplace(id, Step{now() + std::max(0.0, seconds), std::move(step)});
    if (!processing_) schedule();
    return Handle(shared_, id);
}

AnimationDriver::Handle AnimationDriver::every(double seconds, std::function<void()> step) {
    // A period of nothing would never let the driver rest.
    const double period = std::max(seconds, 1e-3);
    std::uint64_t id = nextId_++;
    steps_.emplace(id, Step{now() + period, std::move(step), period});
    if (!processing_) schedule();
    return Handle(shared_, id);
}

void AnimationDriver::advance() {
    if (processing_) return;
    double target = clock_();
    processing_ = true;
    for (;;) {
        // The earliest due event: an animation's end before a step at the same instant, and
        // among equals the one made first.
        std::optional<std::uint64_t> endId, stepId;
        double when = std::numeric_limits<double>::infinity();
        for (const auto& [id, m] : motions_) {
            if (endOf(m) < when) {
                when = endOf(m);
                endId = id;
            }
        }
        for (const auto& [id, s] : steps_) {
            if (s.due < when) {
                when = s.due;
                endId.reset();
                stepId = id;
            }
        }
        if (!(when <= target)) break;
        current_ = std::max(current_, when);
        if (endId) {
            Motion m = std::move(motions_.at(*endId));
            motions_.erase(*endId);
            if (m.apply) m.apply(m.to);
            if (m.finished) m.finished();
        } else if (Step& due = steps_.at(*stepId); due.period > 0) {
            // Its next instant after the present stays booked while it runs, so the step may
            // cancel itself; the ones it slept through are not made up.
            due.due += due.period * (std::floor((target - due.due) / due.period) + 1);
            const std::function<void()> run = due.run;
            if (run) run();
        } else {
            Step s = std::move(due);
            steps_.erase(*stepId);
            if (s.run) s.run();
        }
    }
    current_ = std::max(current_, target);
    std::vector<std::uint64_t> ids;
    ids.reserve(motions_.size());
    for (const auto& entry : motions_) ids.push_back(entry.first);
    for (auto id : ids) {
        auto it = motions_.find(id);
        if (it == motions_.end()) continue;
        Motion& m = it->second;
        double progress = std::clamp((current_ - m.start) / m.animation.duration, 0.0, 1.0);
        double v = m.from + (m.to - m.from) * m.animation.curve.value(progress);
        if (!m.applied || v != m.lastApplied) {
            m.applied = true;
            m.lastApplied = v;
            if (m.apply) m.apply(v);
        }
    }
    lastFrame_ = current_;
    processing_ = false;
    schedule();
}

void AnimationDriver::schedule() {
    double wake = std::numeric_limits<double>::infinity();
    for (const auto& [id, s] : steps_) wake = std::min(wake, s.due);
    double interval = std::numeric_limits<double>::infinity();
    for (const auto& [id, m] : motions_) {
        interval = std::min(interval, m.frameInterval);
        wake = std::min(wake, endOf(m));
    }
    if (std::isfinite(interval)) wake = std::min(wake, std::max(lastFrame_, now()) + interval);
    if (!std::isfinite(wake)) {
        timer_.stop();
        return;
    }
    double delay = std::max(0.0, wake - clock_());
    timer_.start(static_cast<int>(std::ceil(delay * 1000.0)));
    // The event loop times the wait from its own look at the clock. Should the clock have moved
    // past the wake in between (a thread paused there, a clock that moves in steps), the wait
    // would run a whole delay too long: wake at once instead.
    if (delay > 0 && clock_() >= wake) timer_.start(0);
}

AnimatedValue::AnimatedValue(AnimationDriver& driver, double initial, std::function<void()> onChange)
    : driver_(&driver), value_(initial), target_(initial), onChange_(std::move(onChange)) {}

void AnimatedValue::store(double v) {
    if (v == value_) return;
    value_ = v;
    if (onChange_) onChange_();
}

void AnimatedValue::set(double v) {
    motion_.reset();
    target_ = v;
    store(v);
}

void AnimatedValue::animateTo(double v, const Animation& animation, double frameInterval) {
    motion_.reset();
    target_ = v;
    motion_ = driver_->animate(value_, v, animation, [this](double x) { store(x); }, {}, frameInterval);
}

}  // namespace quillfen
