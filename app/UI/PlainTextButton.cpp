#include "UI/PlainTextButton.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "UI/ExactText.h"
#include "UI/Render.h"

namespace quillfen {

void paintPlainTextButton(QPainter& painter, const QRectF& box, const PlainTextButtonState& s) {
    painter.save();
    if (s.capsuleStroke.isValid()) {
        const QRectF capsule = box.adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = capsule.height() / 2;
        painter.setPen(QPen(s.capsuleStroke, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(capsule, radius, radius);
    }
    const QRectF text = box.marginsRemoved(s.padding.toMarginsF());
    const TextMetrics metrics(s.font);
    painter.setPen(s.colour);
    drawExactText(painter, text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, s.text, s.font);
    if (s.underlined) {
        const qreal width = metrics.horizontalAdvance(s.text);
        const qreal textTop = text.center().y() - metrics.height() / 2;
        painter.fillRect(QRectF(text.left(), textTop + metrics.height() - 1, width, 1), s.colour);
    }
    painter.restore();
}

PlainTextButton::PlainTextButton(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
    : QAbstractButton(parent), colour_(colour) {
    setText(text);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground, true);
}

void PlainTextButton::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void PlainTextButton::setUnderlined(bool underlined) {
    underlined_ = underlined;
    update();
}

void PlainTextButton::setCapsule(const QMargins& padding, const QColor& stroke) {
    padding_ = padding;
    capsuleStroke_ = stroke;
    updateGeometry();
    update();
}

void PlainTextButton::setLook(const QFont& font, const QColor& colour) {
    if (font != this->font()) setFont(font);
    setColour(colour);
}

QSize PlainTextButton::sizeHint() const {
    const TextMetrics metrics(font());
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text()))) + padding_.left() + padding_.right(),
            static_cast<int>(std::ceil(metrics.height())) + padding_.top() + padding_.bottom()};
}

PlainTextButtonState PlainTextButton::state() const {
    return {text(), font(), colour_, underlined_, padding_, capsuleStroke_};
}

void PlainTextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintPlainTextButton(painter, QRectF(rect()), state());
}

}  // namespace quillfen
