#include "UI/MenuBarGlyph.h"

#include <QPen>

#include "Stone/MenuBarStone.h"
#include "UI/MotionTokens.h"
#include "UI/StoneFacePainter.h"
#include "UI/StoneShape.h"
#include "UI/StoneSurface.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {
// Every frame of a tray icon crosses the bus to the tray host: a fade of under a second needs
// no more than this to look smooth at the tray's size.
constexpr double kTrayFrameInterval = 1.0 / 20.0;
}  // namespace

const QColor& glyphColdGray() {
    static const QColor c = QColor::fromRgb(176, 175, 171);
    return c;
}

QSizeF glyphSize(const StoneIdentity& identity, qreal height) {
    auto layout = MenuBarStone::layout(StoneSurface::art(identity, "menu bar"), height);
    return {layout.width, height};
}

qreal glyphHeightFitting(const StoneIdentity& identity, const QSizeF& box) {
    // The frame's width grows in proportion to its height.
    QSizeF unit = glyphSize(identity, 100);
    if (unit.width() <= 0) return box.height();
    return std::min(box.height(), box.width() * 100 / unit.width());
}

void paintGlyph(QPainter& painter, const QRectF& box, const GlyphState& s) {
    const StoneArt art = StoneSurface::art(s.identity, "menu bar");
    const MenuBarStoneLayout layout = MenuBarStone::layout(art, s.height);
    const QPointF origin(box.center().x() - layout.width / 2, box.center().y() - s.height / 2);
    auto map = [&](StonePoint p) {
        StonePoint q = layout.point(p.x, p.y);
        return origin + QPointF(q.x, q.y);
    };
    const double cold = s.staleOpacity;
    const double live = 1 - cold;
    const double open = s.openOpacity;

    QPainterPath outline = stonePath(drawingCommands(art), map);
    auto strokeIn = [&](const QColor& colour, double opacity) {
        QPen pen(Theme::faded(colour, opacity), layout.strokeWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
        pen.setMiterLimit(10);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(outline);
    };

    painter.save();
    if (live > 0.001) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::faded(Theme::stoneColour(art.fill), live));
        painter.drawPath(outline);
        strokeIn(Theme::stoneColour(MenuBarStone::outlineHex(art, s.dark)), live);
        StonePoint speck = MenuBarStone::speckCentre(art, layout);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::faded(stoneSpeck(), live * 0.85));
        const qreal r = s.height / 24;
        painter.drawEllipse(origin + QPointF(speck.x, speck.y), r, r);
    }
    if (cold > 0.001) strokeIn(glyphColdGray(), cold);
    painter.restore();

    if (art.eyes.size() == 2) {
        const QColor eye = Theme::stoneColour(art.face);
        StoneFacePainter face{map(art.eyes[0]), map(art.eyes[1]), eye, 1.45, s.height * 5 / 48, false};
        if (1 - open > 0.001) {
            face.ink = Theme::faded(s.stale ? glyphColdGray() : eye, 1 - open);
            face.draw(painter, s.stale ? StoneFace::calm : s.face);
        }
        if (open > 0.001 && live > 0.001) {
            face.ink = Theme::faded(eye, live * open);
            face.draw(painter, StoneFace::open);
        }
    }
}

MenuBarGlyph::MenuBarGlyph(AnimationDriver& driver, bool hasSomethingToSay, bool stale, QObject* parent)
    : QObject(parent),
      hasSomethingToSay_(hasSomethingToSay),
      stale_(stale),
      open_(driver, hasSomethingToSay ? 1 : 0, [this] { emit changed(); }),
      cold_(driver, stale ? 1 : 0, [this] { emit changed(); }) {
    base_.stale = stale;
}

void MenuBarGlyph::setHasSomethingToSay(bool value) {
    if (value == hasSomethingToSay_) return;
    hasSomethingToSay_ = value;
    open_.moveTo(value ? 1 : 0, MotionTokens::MenuBar::curve(), reduceMotion_, kTrayFrameInterval);
    emit changed();
}

void MenuBarGlyph::setStale(bool value) {
    if (value == stale_) return;
    stale_ = value;
    base_.stale = value;
    cold_.moveTo(value ? 1 : 0, MotionTokens::MenuBar::curve(), reduceMotion_, kTrayFrameInterval);
    emit changed();
}

void MenuBarGlyph::setFace(StoneFace face) {
    if (face == base_.face) return;
    base_.face = face;
    emit changed();
}

void MenuBarGlyph::setIdentity(const StoneIdentity& identity) {
    if (identity == base_.identity) return;
    base_.identity = identity;
    emit changed();
}

void MenuBarGlyph::setDark(bool dark) {
    if (dark == base_.dark) return;
    base_.dark = dark;
    emit changed();
}

void MenuBarGlyph::setHeight(qreal height) {
    if (height == base_.height) return;
    base_.height = height;
    emit changed();
}

GlyphState MenuBarGlyph::state() const {
    GlyphState s = base_;
    s.openOpacity = open_.value();
    s.staleOpacity = cold_.value();
    return s;
}

}  // namespace quillfen
