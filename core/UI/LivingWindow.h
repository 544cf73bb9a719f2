#pragma once

namespace quillfen::LivingWindow {

// How the desktop pane answers the week's score. Every caller uses `defaults()`; the
// fields stay open so the shape can be tuned in one place.
struct Curve {
    double floorWidth = 84;
    double widthGain = 124;
    double widthExponent = 1.7;
    double heightRatio = 0.6;
    double opacityFloor = 0.52;
    double opacityGain = 0.45;
    double opacityCap = 0.97;
    double driftRight = 12;
    double driftBottom = 16;
    double wakeStart = 0.35;
    double aggravatedWidthBump = 8;
    double aggravatedOpacityBump = 0.05;

    static Curve defaults() { return {}; }
    bool operator==(const Curve&) const = default;
};

// Sizes and offsets are points; `right` and `bottom` are measured from the edges of the
// screen's visible frame.
struct Geometry {
    double width = 0;
    double height = 0;
    double opacity = 0;
    double right = 0;
    double bottom = 0;
    double wake = 0;
    double beingWidth = 0;
    bool aggravated = false;
    bool operator==(const Geometry&) const = default;
};

// A score outside 0 … 1 counts as its nearer end; one that is not a number counts as 0.
Geometry geometry(double score, bool aggravated, const Curve& curve = Curve::defaults());

}  // namespace quillfen::LivingWindow
