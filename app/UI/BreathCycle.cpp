#include "UI/BreathCycle.h"

#include <limits>

namespace quillfen {

const Animation& BreathCycle::inCurveShape() {
    static const Animation a{TimingCurve::bezier(0.2, 0.7, 0.4, 1.0), 0};
    return a;
}

const Animation& BreathCycle::outCurveShape() {
    static const Animation a{TimingCurve::bezier(0.4, 0.0, 0.5, 1.0), 0};
    return a;
}

BreathCycle::BreathCycle(AnimationDriver& driver, AnyRNGBox random, std::function<bool()> mayBreathe,
                         std::function<void(const Animation&)> breatheIn,
                         std::function<void(const Animation&)> breatheOut)
    : driver_(driver),
      random_(std::move(random)),
      mayBreathe_(std::move(mayBreathe)),
      breatheIn_(std::move(breatheIn)),
      breatheOut_(std::move(breatheOut)) {}

void BreathCycle::start() {
    cycle(++generation_);
}

void BreathCycle::stop() {
    ++generation_;
    step_.reset();
}

void BreathCycle::cycle(unsigned generation) {
    if (generation != generation_ || !mayBreathe_()) return;
    // Uniform over the closed range, both ends included.
    double u = static_cast<double>(random_()) / static_cast<double>(std::numeric_limits<std::uint64_t>::max());
    double seconds = kCycleSeconds * (1 + (-kJitter + 2 * kJitter * u));
    double in = 0.4 * seconds, out = seconds - in;
    breatheIn_(Animation{inCurveShape().curve, in});
    step_ = driver_.after(in, [this, generation, out] {
        if (generation != generation_ || !mayBreathe_()) return;
        breatheOut_(Animation{outCurveShape().curve, out});
        step_ = driver_.after(out, [this, generation] { cycle(generation); });
    });
}

}  // namespace quillfen
