#include "UI/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
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
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    f.setWeight(weight);
    return f;
}

QColor stoneColour(std::string_view text) {
    std::uint32_t value = stoneColourRGB(text);
    return rgb(static_cast<int>((value >> 16) & 0xff), static_cast<int>((value >> 8) & 0xff),
               static_cast<int>(value & 0xff));
}

}  // namespace quillfen::Theme
