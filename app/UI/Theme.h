#pragma once

#include <QColor>
#include <QFont>
#include <string_view>

namespace quillfen::Theme {

// The one palette of every view: sRGB, opaque. Aliases are the very same colours as their
// bases; the developer window draws with the alias names only.
const QColor& paper();
const QColor& field();
const QColor& ink();
const QColor& ink2();
const QColor& ink3();
const QColor& line();
const QColor& ember();
const QColor& moss();
const QColor& mossSoft();
const QColor& hillFill();
const QColor& hillFillHeavy();
// The grey the developer's sheets lay the surfaces on: none of the surfaces uses it.
const QColor& backdrop();

inline const QColor& cream() { return paper(); }
inline const QColor& brown70() { return ink2(); }
inline const QColor& brown50() { return ink3(); }
inline const QColor& hairline() { return line(); }
inline const QColor& greenDeep() { return ink(); }
inline const QColor& greenActive() { return moss(); }
inline const QColor& terra() { return ember(); }

// The colour at a fraction of its opacity.
QColor faded(const QColor& colour, double opacity);

// Straight between two colours, alpha included, `t` of the way; a spring's overshoot is held at
// the ends.
QColor mixed(const QColor& from, const QColor& to, double t);

// The three faces, named here and nowhere else. Sizes are pixels (device-independent), half
// pixels kept: Qt takes whole pixels only, so a font with a half carries its size as a point
// size, which Qt's own widgets round and the views that draw text themselves keep (see
// `drawnFont`). A face that is not installed is logged once and Qt's fallback stands in.
enum class Face { sans, serif, mono };
QFont font(Face face, double pixelSize, QFont::Weight weight = QFont::Normal);

// The size a font was made at, in pixels, to the half pixel.
double pixelSize(const QFont& font);

// What draws `font` at its own size: a font of whole pixels as it stands, at scale 1; one with
// a half pixel as the face at twice the size, at scale one half, so that at twice the scale
// (HiDPI screens, the render hooks) 14.5 is drawn at exactly 29 device pixels.
struct DrawnFont {
    QFont font;
    qreal scale = 1;
};
DrawnFont drawnFont(const QFont& font);
inline QFont sans(double pixelSize, QFont::Weight weight = QFont::Normal) {
    return font(Face::sans, pixelSize, weight);
}
inline QFont serif(double pixelSize, QFont::Weight weight = QFont::Normal) {
    return font(Face::serif, pixelSize, weight);
}
inline QFont mono(double pixelSize, QFont::Weight weight = QFont::Normal) {
    return font(Face::mono, pixelSize, weight);
}
const char* family(Face face);

// A stone's colour text ("#e6d7b9") as an opaque sRGB colour; unreadable text gives black.
QColor stoneColour(std::string_view text);

}  // namespace quillfen::Theme
