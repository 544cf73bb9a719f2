#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "UI/MotionTokens.h"

namespace quillfen {

// Monotonic seconds. The application's runs on the steady clock; tests step their own.
using MotionClock = std::function<double()>;
MotionClock steadyMotionClock();

// The one source of motion: values that move over time and steps that wait for a delay,
// all on one clock. It wakes only while something moves or waits, and no more often than
// the moving values ask for; with nothing to do it holds no timer.
//
// Steps and the ends of animations happen at their own instants even when the driver is
// woken late: a step due at 0.6 s runs with `now()` reading 0.6, so what it starts is timed
// from there and a chain of steps never drifts.
class AnimationDriver : public QObject {
    Q_OBJECT
public:
    explicit AnimationDriver(MotionClock clock = steadyMotionClock(), QObject* parent = nullptr);
    ~AnimationDriver() override;

    // The application's driver, on the steady clock.
    static AnimationDriver& shared();

    // Keeps an animation or a waiting step alive; cancels it when reset or destroyed. It may
    // outlive the driver.
    class Handle {
    public:
        Handle() = default;
        Handle(Handle&& other) noexcept;
        Handle& operator=(Handle&& other) noexcept;
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        ~Handle() { reset(); }
        void reset();
        // Whether it is still moving or waiting.
        bool active() const;

    private:
        friend class AnimationDriver;
        struct Shared;
        Handle(std::weak_ptr<Shared> shared, std::uint64_t id) : shared_(std::move(shared)), id_(id) {}
        std::weak_ptr<Shared> shared_;
        std::uint64_t id_ = 0;
    };

    // Moves a value from `from` to `to`: `apply` hears each sampled value (the end value
    // last), then `finished` runs. A zero duration applies the end at once. `frameInterval`
    // is the coarsest sampling that still looks smooth for this value.
    [[nodiscard]] Handle animate(double from, double to, const Animation& animation,
                                 std::function<void(double)> apply, std::function<void()> finished = {},
                                 double frameInterval = 1.0 / 60.0);

    // Runs `step` once, `seconds` from now.
    [[nodiscard]] Handle after(double seconds, std::function<void()> step);
    // Runs `step` every `seconds` (more than zero), the first time `seconds` from now, until the
    // handle goes. Woken late, it runs once for all the instants it missed and keeps its cadence.
    [[nodiscard]] Handle every(double seconds, std::function<void()> step);

    // The driver's present: while a step or an end runs, its own instant.
    double now() const;
    // Nothing moves and nothing waits.
    bool idle() const;
    bool animating() const;

    // Runs everything due up to the clock's present, in time order, and samples what moves.
    // The timer calls it; a test calls it after stepping its clock.
    void advance();

    // How often the driver has woken on its own, and whether it will wake again.
    std::uint64_t wakeCount() const { return wakes_; }
    bool timerArmed() const { return timer_.isActive(); }

private:
    struct Motion {
        double from = 0, to = 0, start = 0;
        Animation animation;
        double frameInterval = 1.0 / 60.0;
        std::function<void(double)> apply;
        std::function<void()> finished;
        double lastApplied = 0;
        bool applied = false;
    };
    struct Step {
        double due = 0;
        std::function<void()> run;
        // Zero for a step that runs once.
        double period = 0;
    };

    void schedule();
    double endOf(const Motion& m) const { return m.start + m.animation.duration; }

    MotionClock clock_;
    std::shared_ptr<Handle::Shared> shared_;
    std::map<std::uint64_t, Motion> motions_;
    std::map<std::uint64_t, Step> steps_;
    std::uint64_t nextId_ = 1;
    bool processing_ = false;
    double current_ = 0;
    double lastFrame_ = -1;
    std::uint64_t wakes_ = 0;
    QTimer timer_;
};

// A number a view draws from, moved by the driver. `onChange` runs whenever it changes,
// typically to ask the widget for a repaint.
class AnimatedValue {
public:
    AnimatedValue(AnimationDriver& driver, double initial, std::function<void()> onChange = {});

    double value() const { return value_; }
    // Where it is heading (its value when at rest).
    double target() const { return target_; }
    bool moving() const { return motion_.active(); }

    // At once, stopping any motion.
    void set(double v);
    // From where it stands now. A zero duration, or `instant`, sets it at once.
    void animateTo(double v, const Animation& animation, double frameInterval = 1.0 / 60.0);
    // Either, as reduce motion decides.
    void moveTo(double v, const Animation& animation, bool reduceMotion, double frameInterval = 1.0 / 60.0) {
        if (reduceMotion) set(v); else animateTo(v, animation, frameInterval);
    }
    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

private:
    void store(double v);
    AnimationDriver* driver_;
    double value_;
    double target_;
    std::function<void()> onChange_;
    AnimationDriver::Handle motion_;
};

}  // namespace quillfen
