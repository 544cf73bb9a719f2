#include "UI/GlyphMark.h"

#include <QPainterPath>
#include <QPen>

#include "UI/Render.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {

QPen roundPen(const QColor& colour, qreal width) {
    QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    return pen;
}

}  // namespace

void paintGlyphMark(QPainter& painter, const QRectF& canvas, GlyphMark::Kind kind) {
    const qreal s = canvas.width() / 30;
    auto at = [&](qreal x, qreal y) { return canvas.topLeft() + QPointF(x * s, y * s); };
    auto square = [&](qreal x, qreal y, qreal size) { return QRectF(at(x, y), QSizeF(size * s, size * s)); };
    const QPen outline = roundPen(Theme::mossSoft(), 1.4 * s);
    const QPen detail = roundPen(Theme::moss(), 1.2 * s);

    painter.save();
    painter.setBrush(Qt::NoBrush);
    switch (kind) {
        case GlyphMark::Kind::screen:
            painter.setPen(outline);
            painter.drawEllipse(square(5, 5, 20));
            painter.setPen(roundPen(Theme::moss(), 1.4 * s));
            painter.drawLine(at(15, 15), at(15, 8));
            painter.drawLine(at(15, 15), at(20, 18));
            break;
        case GlyphMark::Kind::wave: {
            QPainterPath wave(at(7, 20));
            wave.quadTo(at(11, 10), at(15, 20));
            wave.quadTo(at(19, 30), at(23, 20));
            painter.setPen(outline);
            painter.drawPath(wave);
            break;
        }
        case GlyphMark::Kind::sun:
            painter.setPen(outline);
            painter.drawEllipse(square(9, 9, 12));
            painter.setPen(detail);
            painter.drawLine(at(15, 7), at(15, 4));
            painter.drawLine(at(15, 23), at(15, 26));
            painter.drawLine(at(7, 15), at(4, 15));
            painter.drawLine(at(23, 15), at(26, 15));
            break;
        case GlyphMark::Kind::speak: {
            painter.setPen(outline);
            painter.drawRoundedRect(QRectF(at(6, 10), QSizeF(18 * s, 10 * s)), 5 * s, 5 * s);
            QPainterPath smile(at(12, 15));
            smile.quadTo(at(13.5, 16.6), at(15, 15));
            smile.moveTo(at(15.5, 15));
            smile.quadTo(at(17, 16.6), at(18.5, 15));
            painter.setPen(detail);
            painter.drawPath(smile);
            break;
        }
        case GlyphMark::Kind::pulse:
            painter.setPen(outline);
            painter.drawEllipse(square(9, 9, 12));
            painter.setPen(Qt::NoPen);
            painter.setBrush(Theme::moss());
            painter.drawEllipse(square(12.5, 12.5, 5));
            break;
    }
    painter.restore();
}

GlyphMark::GlyphMark(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setFixedSize(34, 34);
    setAttribute(Qt::WA_TranslucentBackground, true);
}

void GlyphMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintGlyphMark(painter, QRectF(rect()), kind_);
}

}  // namespace quillfen
