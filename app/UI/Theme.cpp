#include "UI/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>
#include <string>

#include "Stone/StoneArt.h"
#include "Support/SystemLog.h"

namespace quillfen::Theme {

namespace {

QColor rgb(int r, int g, int b) {
    return QColor::fromRgb(r, g, b);
}

void noteMissingOnce(Face face) {
    static std::mutex lock;
    static std::set<Face> checked;
    {
        std::lock_guard guard(lock);
        if (!checked.insert(face).second) return;
    }
    // The font database needs a GUI application; without one there is nothing to check.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
    if (!QFontDatabase::families().contains(QString::fromLatin1(family(face)))) {
        SystemLog::error("ui", std::string("font \"") + family(face) + "\" is not installed; using the nearest face");
    }
}

// The DPI that Qt turns point sizes into pixels by, on the screen and on images made for it.
double logicalDpi() {
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    return screen != nullptr ? std::round(screen->logicalDotsPerInchY()) : 96.0;
}

}  // namespace

const QColor& paper() { static const QColor c = rgb(252, 251, 247); return c; }
const QColor& field() { static const QColor c = rgb(244, 242, 236); return c; }
const QColor& ink() { static const QColor c = rgb(43, 43, 40); return c; }
const QColor& ink2() { static const QColor c = rgb(107, 106, 101); return c; }
const QColor& ink3() { static const QColor c = rgb(157, 156, 150); return c; }
const QColor& line() { static const QColor c = rgb(228, 226, 219); return c; }
const QColor& ember() { static const QColor c = rgb(162, 64, 45); return c; }
const QColor& moss() { static const QColor c = rgb(90, 124, 90); return c; }
const QColor& mossSoft() { static const QColor c = rgb(138, 165, 136); return c; }
const QColor& hillFill() { static const QColor c = rgb(223, 230, 220); return c; }
const QColor& hillFillHeavy() { static const QColor c = rgb(215, 224, 211); return c; }
const QColor& backdrop() { static const QColor c = QColor::fromRgbF(0.72f, 0.71f, 0.68f); return c; }

QColor faded(const QColor& colour, double opacity) {
    QColor c = colour;
    c.setAlphaF(static_cast<float>(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return c;
}

QColor mixed(const QColor& from, const QColor& to, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto lerp = [t](float a, float b) { return a + (b - a) * static_cast<float>(t); };
    return QColor::fromRgbF(lerp(from.redF(), to.redF()), lerp(from.greenF(), to.greenF()),
                            lerp(from.blueF(), to.blueF()), lerp(from.alphaF(), to.alphaF()));
}

const char* family(Face face) {
    switch (face) {
    case Face::sans: return "Inter";
    case Face::serif: return "DejaVu Serif";
    case Face::mono: return "DejaVu Sans Mono";
    }
    return "Inter";
}

QFont font(Face face, double pixelSize, QFont::Weight weight) {
    noteMissingOnce(face);
    QFont f(QString::fromLatin1(family(face)));
    f.setStyleHint(face == Face::mono ? QFont::Monospace : face == Face::serif ? QFont::Serif : QFont::SansSerif);
    const double halves = std::max(2.0, std::round(pixelSize * 2));
    if (std::fmod(halves, 2) == 0) {
        f.setPixelSize(static_cast<int>(halves / 2));
    } else {
        f.setPointSizeF(halves / 2 * 72.0 / logicalDpi());
    }
    f.setWeight(weight);
    return f;
}

double pixelSize(const QFont& font) {
    if (font.pixelSize() > 0) return font.pixelSize();
    return std::round(font.pointSizeF() * logicalDpi() / 72.0 * 2) / 2;
}

DrawnFont drawnFont(const QFont& font) {
    const double halves = std::max(2.0, std::round(pixelSize(font) * 2));
    if (std::fmod(halves, 2) == 0) {
        if (font.pixelSize() > 0) return {font, 1};
        QFont whole = font;
        whole.setPixelSize(static_cast<int>(halves / 2));
        return {whole, 1};
    }
    QFont twice = font;
    twice.setPixelSize(static_cast<int>(halves));
    // Spacing in pixels is drawn at the same scale as the face.
    if (font.letterSpacingType() == QFont::AbsoluteSpacing) {
        twice.setLetterSpacing(QFont::AbsoluteSpacing, font.letterSpacing() * 2);
    }
    twice.setWordSpacing(font.wordSpacing() * 2);
    return {twice, 0.5};
}

QColor stoneColour(std::string_view text) {
    std::uint32_t value = stoneColourRGB(text);
    return rgb(static_cast<int>((value >> 16) & 0xff), static_cast<int>((value >> 8) & 0xff),
               static_cast<int>(value & 0xff));
}

}  // namespace quillfen::Theme
