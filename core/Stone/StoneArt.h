#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Stone/StoneIdentity.h"

namespace quillfen {

// A point in the drawing box: x to the right, y downwards.
struct StonePoint {
    double x = 0, y = 0;
    bool operator==(const StonePoint&) const = default;
};

// One drawing step, always in absolute coordinates.
struct StonePathCommand {
    enum class Kind { move, line, curve, close };
    Kind kind = Kind::close;
    StonePoint c1, c2;  // curve control points
    StonePoint to;      // end point of move, line, curve
    bool operator==(const StonePathCommand&) const = default;

    static StonePathCommand move(double x, double y);
    static StonePathCommand line(double x, double y);
    static StonePathCommand curve(double c1x, double c1y, double c2x, double c2y, double x, double y);
    static StonePathCommand close();
};

struct StoneBox {
    double minX = 0, minY = 0, width = 0, height = 0;
    double maxX() const { return minX + width; }
    double maxY() const { return minY + height; }
    // 0 for a box without height.
    double aspect() const { return height > 0 ? width / height : 0; }
    bool operator==(const StoneBox&) const = default;
};

// One of the twelve drawings: a closed outline in a 180 x 120 box, its colours ("#" and six
// lower-case hexadecimal digits) and its two eyes, left first.
struct StoneArt {
    StoneMaterial material = StoneMaterial::pebble;
    std::string seed, path, fill, edge, face;
    std::vector<StonePoint> eyes;

    static constexpr double boxWidth = 180, boxHeight = 120;

    // Parsed afresh on every call: the paths are a few dozen characters.
    std::vector<StonePathCommand> commands() const;
    StoneBox drawnBounds() const;
    bool operator==(const StoneArt&) const = default;
};

namespace StonePath {
// The commands of a path text: M/m, L/l, C/c and Z/z, numbers without exponents separated by
// spaces and commas, a command repeated by further numbers. A text that cannot be read gives
// nothing; one that stops early gives what came before.
std::vector<StonePathCommand> commands(std::string_view text);
}  // namespace StonePath

namespace StoneGeometry {
// The box of what the commands draw: curves by their extremes, not their control points. The
// all-zero box when nothing is drawn from a move, or when the extent is not finite.
StoneBox bounds(const std::vector<StonePathCommand>& commands);
}  // namespace StoneGeometry

namespace StoneArtLibrary {
// The twelve drawings, three a material; their order decides lookups.
const std::vector<StoneArt>& all();
// The first drawing of the identity's material and seed.
std::optional<StoneArt> exactArt(const StoneIdentity& identity);
// The fallback identity's drawing.
const StoneArt& fallbackArt();
StoneArt art(const StoneIdentity& identity);
}  // namespace StoneArtLibrary

// A stone colour text ("#e6d7b9") as 0xRRGGBB: one leading "#" dropped, then the leading
// hexadecimal digits read as an integer of which the low three bytes are kept; a text without
// them is black.
std::uint32_t stoneColourRGB(std::string_view text);

}  // namespace quillfen
