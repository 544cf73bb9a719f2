#include "UI/RoundedBox.h"

#include <QPainterPath>
#include <QPen>

#include "UI/Render.h"

namespace quillfen {

void paintRoundedBox(QPainter& painter, const QRectF& box, const RoundedBoxState& state) {
    painter.save();
    const qreal half = state.strokeWidth / 2;
    const QRectF edge = box.adjusted(half, half, -half, -half);
    QPainterPath shape;
    shape.addRoundedRect(box, state.radius, state.radius);
    painter.fillPath(shape, state.fill);
    if (state.strokeWidth > 0 && state.stroke.alpha() > 0) {
        painter.setPen(QPen(state.stroke, state.strokeWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(edge, state.radius - half, state.radius - half);
    }
    painter.restore();
}

RoundedBox::RoundedBox(RoundedBoxState state, QWidget* parent) : QWidget(parent), state_(std::move(state)) {}

void RoundedBox::setBoxState(const RoundedBoxState& state) {
    state_ = state;
    update();
}

void RoundedBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintRoundedBox(painter, QRectF(rect()), state_);
}

}  // namespace quillfen
