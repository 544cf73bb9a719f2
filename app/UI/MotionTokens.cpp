#include "UI/MotionTokens.h"

#include <algorithm>
#include <cmath>

namespace quillfen {

namespace {

double cubic(double p1, double p2, double t) {
    // One coordinate of the curve with end points 0 and 1.
    double u = 1 - t;
    return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
}

double cubicSlope(double p1, double p2, double t) {
    double u = 1 - t;
    return 3 * u * u * p1 + 6 * u * t * (p2 - p1) + 3 * t * t * (1 - p2);
}

}  // namespace

TimingCurve TimingCurve::bezier(double x1, double y1, double x2, double y2) {
    return TimingCurve(false, std::clamp(x1, 0.0, 1.0), y1, std::clamp(x2, 0.0, 1.0), y2);
}

TimingCurve TimingCurve::spring(double response, double dampingFraction) {
    return TimingCurve(true, std::max(response, 1e-3), std::clamp(dampingFraction, 1e-3, 1.0), 0, 0);
}

double TimingCurve::value(double progress) const {
    if (!(progress > 0)) return 0;
    if (progress >= 1) return 1;
    if (spring_) {
        double t = progress * settlingSeconds();
        double omega = 2 * M_PI / a_;
        double zeta = b_;
        if (zeta >= 1) return 1 - std::exp(-omega * t) * (1 + omega * t);
        double damped = omega * std::sqrt(1 - zeta * zeta);
        double decay = std::exp(-zeta * omega * t);
        return 1 - decay * (std::cos(damped * t) + zeta * omega / damped * std::sin(damped * t));
    }
    // x(t) is monotonic for control x in 0...1: Newton's method from a good guess, bisection
    // where the slope is too flat for it.
    double t = progress;
    for (int i = 0; i < 8; ++i) {
        double error = cubic(a_, c_, t) - progress;
        if (std::abs(error) < 1e-9) return cubic(b_, d_, t);
        double slope = cubicSlope(a_, c_, t);
        if (std::abs(slope) < 1e-7) break;
        t -= error / slope;
        if (t < 0 || t > 1) break;
    }
    double lo = 0, hi = 1;
    t = progress;
    for (int i = 0; i < 60; ++i) {
        double x = cubic(a_, c_, t);
        if (std::abs(x - progress) < 1e-12) break;
        if (x < progress) lo = t; else hi = t;
        t = (lo + hi) / 2;
    }
    return cubic(b_, d_, t);
}

double TimingCurve::settlingSeconds() const {
    if (!spring_) return 0;
    double omega = 2 * M_PI / a_;
    // Long enough for the envelope, with its polynomial factor when critically damped, to
    // fall below a thousandth.
    return std::log(10000.0) / (b_ * omega);
}

namespace MotionTokens {

const Animation& Wake::curve() { static const Animation a{TimingCurve::bezier(0.16, 0.8, 0.3, 1.0), 1.2}; return a; }
const Animation& Wake::stirCurve() { static const Animation a{TimingCurve::bezier(0.33, 0.0, 0.4, 1.0), 0.55}; return a; }
const Animation& Expand::dismissCurve() { static const Animation a{TimingCurve::bezier(0.4, 0.0, 0.7, 1.0), 1.1}; return a; }
const Animation& Expand::returnCurve() { static const Animation a{TimingCurve::bezier(0.4, 0.0, 0.5, 1.0), 1.6}; return a; }
const Animation& Living::gatherCurve() { static const Animation a{TimingCurve::bezier(0.22, 0.61, 0.36, 1.0), 1.1}; return a; }
const Animation& Living::thinCurve() { static const Animation a{TimingCurve::bezier(0.22, 0.61, 0.36, 1.0), 0.8}; return a; }
const Animation& Living::aggravateCurve() { static const Animation a{TimingCurve::bezier(0.3, 0.0, 0.3, 1.0), 0.5}; return a; }
const Animation& Living::ceilingLineCurve() { static const Animation a = Animation::easeInOut(1.0); return a; }
const Animation& MenuBar::curve() { static const Animation a{TimingCurve::bezier(0.4, 0.0, 0.6, 1.0), 0.9}; return a; }

}  // namespace MotionTokens

}  // namespace quillfen
