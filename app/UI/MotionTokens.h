#pragma once

namespace quillfen {

// How a value moves from its start to its end over time: a cubic Bezier timing curve from
// (0, 0) to (1, 1), or a damped spring.
class TimingCurve {
public:
    static TimingCurve bezier(double x1, double y1, double x2, double y2);
    // A spring of the given response (seconds for one undamped oscillation) and damping
    // fraction (1 is critically damped); it may overshoot.
    static TimingCurve spring(double response, double dampingFraction);
    static TimingCurve linear() { return bezier(0, 0, 1, 1); }
    // The desktop's standard ease-in-out.
    static TimingCurve easeInOut() { return bezier(0.42, 0, 0.58, 1); }

    // The fraction of the way at `progress` (0...1 of the duration); 0 and 1 at the ends.
    double value(double progress) const;

    // How long a spring takes to settle to within a thousandth; 0 for a Bezier curve, whose
    // duration is given with it.
    double settlingSeconds() const;

    bool isSpring() const { return spring_; }
    double x1() const { return a_; }
    double y1() const { return b_; }
    double x2() const { return c_; }
    double y2() const { return d_; }
    bool operator==(const TimingCurve&) const = default;

private:
    TimingCurve(bool spring, double a, double b, double c, double d) : spring_(spring), a_(a), b_(b), c_(c), d_(d) {}
    bool spring_ = false;
    double a_ = 0, b_ = 0, c_ = 1, d_ = 1;
};

// A timing curve with a duration in seconds.
struct Animation {
    TimingCurve curve = TimingCurve::linear();
    double duration = 0;

    static Animation easeInOut(double seconds) { return {TimingCurve::easeInOut(), seconds}; }
    static Animation linear(double seconds) { return {TimingCurve::linear(), seconds}; }
    static Animation spring(double response, double dampingFraction) {
        TimingCurve c = TimingCurve::spring(response, dampingFraction);
        return {c, c.settlingSeconds()};
    }
    bool operator==(const Animation&) const = default;
};

// The named slow transitions of the stone and its surfaces.
namespace MotionTokens {
namespace Wake {
const Animation& curve();
const Animation& stirCurve();
}  // namespace Wake
namespace Expand {
const Animation& dismissCurve();
const Animation& returnCurve();
}  // namespace Expand
namespace Living {
const Animation& gatherCurve();
const Animation& thinCurve();
const Animation& aggravateCurve();
const Animation& ceilingLineCurve();
}  // namespace Living
namespace MenuBar {
const Animation& curve();
}  // namespace MenuBar
}  // namespace MotionTokens

}  // namespace quillfen
