#pragma once

#include <QColor>
#include <QObject>
#include <QPainter>
#include <QRectF>
#include <QSizeF>

#include "Stone/StoneIdentity.h"
#include "UI/AnimationDriver.h"
#include "UI/StoneFace.h"

namespace quillfen {

// The tray's stone at one instant: what the glyph draws.
struct GlyphState {
    StoneIdentity identity = StoneIdentity::fallback();
    StoneFace face = StoneFace::calm;
    bool stale = false;
    // The tray is dark: an edge too dark to see is drawn in a light rim instead.
    bool dark = false;
    // 0...1: how far the open face has faded in, and how far the stone has turned cold.
    double openOpacity = 0;
    double staleOpacity = 0;
    qreal height = 13;
};

const QColor& glyphColdGray();

// The glyph's frame for a height: the drawing's width at that height by the height.
QSizeF glyphSize(const StoneIdentity& identity, qreal height);
// The largest height whose frame fits in `box` (a square tray slot, say).
qreal glyphHeightFitting(const StoneIdentity& identity, const QSizeF& box);

// Draws the glyph centred in `box`.
void paintGlyph(QPainter& painter, const QRectF& box, const GlyphState& state);

// The glyph with its two fades: open (something to say) and stale. Changes of the face or the
// stone redraw at once; the fades move on the driver, or jump under reduce motion.
class MenuBarGlyph : public QObject {
    Q_OBJECT
public:
    MenuBarGlyph(AnimationDriver& driver, bool hasSomethingToSay, bool stale, QObject* parent = nullptr);

    bool hasSomethingToSay() const { return hasSomethingToSay_; }
    bool stale() const { return stale_; }
    void setHasSomethingToSay(bool value);
    void setStale(bool value);
    void setFace(StoneFace face);
    void setIdentity(const StoneIdentity& identity);
    void setDark(bool dark);
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }
    void setHeight(qreal height);

    GlyphState state() const;

signals:
    // The drawing changed: a fade moved or a field changed.
    void changed();

private:
    bool hasSomethingToSay_;
    bool stale_;
    bool reduceMotion_ = false;
    GlyphState base_;
    AnimatedValue open_;
    AnimatedValue cold_;
};

}  // namespace quillfen
