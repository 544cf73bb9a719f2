#include "UI/StoneFacePainter.h"

#include <QPainterPath>
#include <QPen>
#include <algorithm>

namespace quillfen {

namespace {

const QColor& glintColour() {
    static const QColor c = QColor::fromRgb(251, 247, 235);
    return c;
}

}  // namespace

void StoneFacePainter::draw(QPainter& painter, StoneFace face) const {
    // Degenerate eye points (the right one left of the left one) still get marks of unit size.
    const qreal span = std::max<qreal>(1.0, right.x() - left.x());
    const QPointF mid = (left + right) / 2.0;
    auto T = [&](QPointF p) { return mid + (p - mid) * scale; };

    painter.save();
    QPen pen(ink, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);

    auto roundEye = [&](QPointF p, qreal r) {
        QPointF c = T(p);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawEllipse(c, r, r);
        if (glint) {
            painter.setBrush(glintColour());
            painter.drawEllipse(QPointF(c.x() + 0.1 * r, c.y() - 0.35 * r), 0.27 * r, 0.27 * r);
        }
    };
    auto stroke = [&](const QPainterPath& path) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    };
    auto strained = [&](QPointF p, qreal t) {
        QPainterPath path(T({p.x() - t / 2, p.y() - 0.2 * span}));
        path.lineTo(T({p.x() + t / 2, p.y() + 0.16 * span}));
        path.lineTo(T({p.x() - t / 2, p.y() + 0.16 * span}));
        stroke(path);
    };
    auto arch = [&](QPointF p) {
        QPainterPath path(T({p.x() - 0.24 * span, p.y() + 0.1 * span}));
        path.quadTo(T({p.x(), p.y() - 0.2 * span}), T({p.x() + 0.24 * span, p.y() + 0.1 * span}));
        stroke(path);
    };

    switch (face) {
    case StoneFace::calm:
        roundEye(left, 0.2 * span * scale);
        roundEye(right, 0.216 * span * scale);
        break;
    case StoneFace::neutral: {
        roundEye(left, 0.2 * span * scale);
        QPainterPath level(T({right.x() - 0.26 * span, right.y() + 0.04 * span}));
        level.lineTo(T({right.x() + 0.26 * span, right.y() + 0.04 * span}));
        stroke(level);
        break;
    }
    case StoneFace::strained:
        strained(left, 0.3 * span);
        strained(right, -0.3 * span);
        break;
    case StoneFace::open:
        arch(left);
        arch(right);
        break;
    }
    painter.restore();
}

}  // namespace quillfen
