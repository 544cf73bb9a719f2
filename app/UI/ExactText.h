#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRectF>
#include <QString>

#include "UI/Theme.h"

namespace quillfen {

// A text's measures at its font's own size, half pixels kept (see Theme::drawnFont).
class TextMetrics {
public:
    explicit TextMetrics(const QFont& font);
    explicit TextMetrics(const Theme::DrawnFont& drawn);

    qreal height() const { return metrics_.height() * scale_; }
    qreal ascent() const { return metrics_.ascent() * scale_; }
    qreal descent() const { return metrics_.descent() * scale_; }
    qreal horizontalAdvance(const QString& text) const { return metrics_.horizontalAdvance(text) * scale_; }

private:
    QFontMetricsF metrics_;
    qreal scale_;
};

// QPainter::drawText of `text` in `box` with `flags`, at the font's own size, in the painter's pen.
void drawExactText(QPainter& painter, const QRectF& box, int flags, const QString& text, const QFont& font);

// A label whose plain text is drawn at its font's own size, where Qt's would round a half pixel
// up. It keeps the room Qt gives it, which the rounded-up size never leaves too small.
class ExactLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A flat push button whose label is drawn the same way.
class ExactPushButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quillfen
