#include "Stone/MenuBarStone.h"

#include <algorithm>
#include <cstdint>

namespace quillfen::MenuBarStone {

MenuBarStoneLayout layout(const StoneArt& art, double height) {
    const StoneBox bounds = art.drawnBounds();
    const double stroke = height / 12;
    MenuBarStoneLayout out;
    if (bounds.height > 0 && bounds.width > 0 && stroke < height) {
        // Fitted by height, so the outline's half-width stays inside the top and bottom.
        out.scale = (height - stroke) / bounds.height;
        out.originX = stroke / 2 - bounds.minX * out.scale;
        out.originY = stroke / 2 - bounds.minY * out.scale;
        out.width = stroke + bounds.width * out.scale;
    } else {
        out.width = height;
    }
    out.height = height;
    out.strokeWidth = stroke;
    return out;
}

StonePoint speckCentre(const StoneArt& art, const MenuBarStoneLayout& layout) {
    const StoneBox bounds = art.drawnBounds();
    return {layout.originX + (bounds.minX + bounds.width * speckAt.x) * layout.scale,
            layout.originY + (bounds.minY + bounds.height * speckAt.y) * layout.scale};
}

std::string outlineHex(const StoneArt& art, bool onDarkSurface) {
    if (onDarkSurface) {
        auto edge = luminance(art.edge);
        if (edge && *edge < darkBodyLuminance) return std::string(darkSurfaceRim);
    }
    return art.edge;
}

std::optional<double> luminance(std::string_view hex) {
    if (!hex.empty() && hex.front() == '#') hex.remove_prefix(1);
    auto isHexDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), isHexDigit)) return std::nullopt;
    const std::uint32_t rgb = stoneColourRGB(hex);
    const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return 0.2126 * r / 255 + 0.7152 * g / 255 + 0.0722 * b / 255;
}

}  // namespace quillfen::MenuBarStone
