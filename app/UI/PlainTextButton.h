#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMargins>
#include <QString>

namespace quillfen {

// A text that acts when pressed, with no bezel: optionally underlined by a one-point rule as
// wide as the text, optionally inside a stroked capsule.
struct PlainTextButtonState {
    QString text;
    QFont font;
    QColor colour;
    bool underlined = false;
    // Space around the text, and the capsule's stroke (none when invalid).
    QMargins padding;
    QColor capsuleStroke;
};

void paintPlainTextButton(QPainter& painter, const QRectF& box, const PlainTextButtonState& state);

class PlainTextButton : public QAbstractButton {
    Q_OBJECT
public:
    PlainTextButton(const QString& text, const QFont& font, const QColor& colour, QWidget* parent = nullptr);

    QColor colour() const { return colour_; }
    bool underlined() const { return underlined_; }
    void setColour(const QColor& colour);
    void setUnderlined(bool underlined);
    // Padding around the text with a capsule stroked in `stroke` behind it.
    void setCapsule(const QMargins& padding, const QColor& stroke);
    // Font and colour in one step, as the footer marks its choice.
    void setLook(const QFont& font, const QColor& colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PlainTextButtonState state() const;

    QColor colour_;
    bool underlined_ = false;
    QMargins padding_;
    QColor capsuleStroke_;
};

}  // namespace quillfen
