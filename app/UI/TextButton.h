#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

namespace quillfen {

// How a plain button looks: its text, and optionally a shape behind it and a rule under it.
struct ButtonLook {
    QFont font;
    QColor text;
    // Between the button's bounds and its text.
    QMarginsF padding;
    // A 1-pt rule along the bottom of the text.
    std::optional<QColor> underline;
    // The shape behind the text, when it is filled or outlined.
    qreal radius = 0;
    QColor fill = Qt::transparent;
    QColor outline = Qt::transparent;

    bool hasShape() const { return fill.alpha() > 0 || outline.alpha() > 0; }
    bool operator==(const ButtonLook&) const = default;
};

struct TextButtonState {
    QString text;
    ButtonLook look;
    // Keyboard focus: the shape's outline turns moss, or, without a shape, a thin moss ring
    // follows the bounds.
    bool focused = false;
};

void paintTextButton(QPainter& painter, const QRectF& box, const TextButtonState& state);

// The focus ring of a control that has no shape of its own, inside `box`.
void paintFocusRing(QPainter& painter, const QRectF& box);

// A button drawn as its text in the given look. It takes focus from the keyboard only, so a
// click never pulls focus out of a text field, and Return or Enter press it as Space does.
// A checkable one shows its check state to assistive technology, but only its owner changes
// that state: a click does not toggle it.
class TextButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit TextButton(const QString& text, QWidget* parent = nullptr);

    void setLook(const ButtonLook& look);
    const ButtonLook& look() const { return look_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void nextCheckState() override {}

private:
    ButtonLook look_;
};

// A button whose label is a row of other widgets laid out on it: a click anywhere inside its
// bounds presses it, on its texts and in its empty space alike. Keyboard use as TextButton.
class RowButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit RowButton(QWidget* parent = nullptr);

    // The child that the focus ring surrounds, as a radio button's ring surrounds its label
    // and leaves its mark alone; without one the ring follows the row's bounds.
    void setFocusFrame(QWidget* child) { focusFrame_ = child; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void nextCheckState() override {}

private:
    QWidget* focusFrame_ = nullptr;
};

}  // namespace quillfen
