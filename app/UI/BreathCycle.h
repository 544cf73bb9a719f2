#pragma once

#include <functional>

#include "Support/RandomSource.h"
#include "UI/AnimationDriver.h"
#include "UI/MotionTokens.h"

namespace quillfen {

// The one rhythm of breathing: about six seconds a cycle, jittered by up to 6% either way, in
// for two fifths of it and out for the rest. Each step first asks whether breathing may go on;
// a cycle started anew drops the steps of the one before, so a stale step never acts.
class BreathCycle {
public:
    static const Animation& inCurveShape();   // duration unused
    static const Animation& outCurveShape();  // duration unused
    static constexpr double kCycleSeconds = 6.0;
    static constexpr double kJitter = 0.06;

    // `mayBreathe` is asked before each step; `breatheIn` / `breatheOut` start the motion for
    // the given animation.
    BreathCycle(AnimationDriver& driver, AnyRNGBox random, std::function<bool()> mayBreathe,
                std::function<void(const Animation&)> breatheIn, std::function<void(const Animation&)> breatheOut);

    // Starts a cycle now, dropping any chain under way.
    void start();
    // Drops the chain; the values stay where they are.
    void stop();
    bool running() const { return step_.active(); }
    // How many cycles have been started, for telling an old chain from a new one.
    unsigned generation() const { return generation_; }

private:
    void cycle(unsigned generation);

    AnimationDriver& driver_;
    AnyRNGBox random_;
    std::function<bool()> mayBreathe_;
    std::function<void(const Animation&)> breatheIn_, breatheOut_;
    AnimationDriver::Handle step_;
    unsigned generation_ = 0;
};

}  // namespace quillfen
