#include "UI/TextButton.h"

#include <QKeyEvent>
#include <QPainterPath>

#include <cmath>

#include "UI/ExactText.h"
#include "UI/Render.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {

bool pressesButton(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

void paintTextButton(QPainter& painter, const QRectF& box, const TextButtonState& state) {
    const ButtonLook& look = state.look;
    painter.save();
    if (look.hasShape()) {
        const qreal stroke = state.focused ? 2.0 : 1.0;
        const QRectF shape = box.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
        const qreal radius = std::min(look.radius, std::min(shape.width(), shape.height()) / 2);
        painter.setBrush(look.fill);
        const QColor outline = state.focused ? Theme::moss() : look.outline;
        painter.setPen(outline.alpha() > 0 ? QPen(outline, stroke) : QPen(Qt::NoPen));
        painter.drawRoundedRect(shape, radius, radius);
    } else if (state.focused) {
        paintFocusRing(painter, box);
    }
    const QRectF textBox = box.marginsRemoved(look.padding);
    painter.setPen(look.text);
    drawExactText(painter, textBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, state.text, look.font);
    if (look.underline) {
        painter.fillRect(QRectF(textBox.left(), textBox.bottom() - 1, textBox.width(), 1), *look.underline);
    }
    painter.restore();
}

void paintFocusRing(QPainter& painter, const QRectF& box) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Theme::moss(), 1));
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.restore();
}

TextButton::TextButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setFocusPolicy(Qt::TabFocus);
}

void TextButton::setLook(const ButtonLook& look) {
    if (look == look_) return;
    look_ = look;
    setFont(look.font);
    updateGeometry();
    update();
}

QSize TextButton::sizeHint() const {
    const TextMetrics metrics(look_.font);
    const qreal width = metrics.horizontalAdvance(text()) + look_.padding.left() + look_.padding.right();
    const qreal height = metrics.height() + look_.padding.top() + look_.padding.bottom();
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void TextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintTextButton(painter, QRectF(rect()), {text(), look_, hasFocus()});
}

void TextButton::keyPressEvent(QKeyEvent* event) {
    if (pressesButton(event) && !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

RowButton::RowButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
}

void RowButton::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    prepare(painter);
    QRectF box(rect());
    if (focusFrame_ != nullptr) box = QRectF(focusFrame_->geometry()).adjusted(-6, -4, 6, 4).intersected(box);
    paintFocusRing(painter, box);
}

void RowButton::keyPressEvent(QKeyEvent* event) {
    if (pressesButton(event) && !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

}  // namespace quillfen
