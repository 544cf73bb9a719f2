#include "UI/LivingWindow.h"

#include <algorithm>
#include <cmath>

namespace quillfen::LivingWindow {

namespace {

constexpr double kEdgeInset = 16;
constexpr double kBeingShare = 0.44;
constexpr double kBeingMinWidth = 34;
constexpr double kBeingMaxWidth = 76;

}  // namespace

Geometry geometry(double score, bool aggravated, const Curve& curve) {
    const double base = std::isnan(score) ? 0.0 : std::clamp(score, 0.0, 1.0);

    double wake = base < curve.wakeStart ? 0.0 : (base - curve.wakeStart) / (1.0 - curve.wakeStart);
    double width = curve.floorWidth + std::pow(base, curve.widthExponent) * curve.widthGain;
    double opacity = curve.opacityFloor + base * curve.opacityGain;
    if (aggravated) {
        width += curve.aggravatedWidthBump;
        opacity += curve.aggravatedOpacityBump;
        wake = 1.0;
    }

    Geometry g;
    g.width = width;
    g.height = width * curve.heightRatio;
    g.opacity = std::min(opacity, curve.opacityCap);
    g.right = kEdgeInset + curve.driftRight * base;
    g.bottom = kEdgeInset + curve.driftBottom * base;
    g.wake = std::clamp(wake, 0.0, 1.0);
    g.beingWidth = std::clamp(width * kBeingShare, kBeingMinWidth, kBeingMaxWidth);
    g.aggravated = aggravated;
    return g;
}

}  // namespace quillfen::LivingWindow
