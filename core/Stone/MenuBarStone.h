#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Stone/StoneArt.h"

namespace quillfen {

// How a drawing sits in the menu bar: box units to points, the glyph's size and its outline.
struct MenuBarStoneLayout {
    double scale = 0, originX = 0, originY = 0, width = 0, height = 0, strokeWidth = 0;

    // A point of the drawing box, in points.
    StonePoint point(double x, double y) const { return {originX + scale * x, originY + scale * y}; }
    bool operator==(const MenuBarStoneLayout&) const = default;
};

namespace MenuBarStone {

inline constexpr double strokeFraction = 1.0 / 12;
inline constexpr double speckRadiusFraction = 1.0 / 24;
// The rust speck's centre, as fractions of the drawing's bounds from their top left.
inline constexpr StonePoint speckAt{0.18, 0.72};
// Drawn instead of an edge too dark to see on a dark menu bar.
inline constexpr std::string_view darkSurfaceRim = "#9aa093";
inline constexpr double darkBodyLuminance = 0.28;

// Fits the drawing to the height, outline included; the width follows the drawing. A drawing
// without a usable box gets scale 0 and a square slot.
MenuBarStoneLayout layout(const StoneArt& art, double height);
StonePoint speckCentre(const StoneArt& art, const MenuBarStoneLayout& layout);
std::string outlineHex(const StoneArt& art, bool onDarkSurface);
// Of "#rrggbb" or "rrggbb", on the stored (not linearised) values; nothing unless exactly six
// hexadecimal digits follow the optional "#".
std::optional<double> luminance(std::string_view hex);

}  // namespace MenuBarStone

}  // namespace quillfen
