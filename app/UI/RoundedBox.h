#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QWidget>

namespace quillfen {

// A filled panel with a rounded hairline edge, as banners, cards, tiles and chips draw it.
struct RoundedBoxState {
    QColor fill;
    QColor stroke;
    qreal radius = 10;
    qreal strokeWidth = 1;
};

// The stroke lies inside `box`, so nothing is drawn past it.
void paintRoundedBox(QPainter& painter, const QRectF& box, const RoundedBoxState& state);

// A widget drawn as a rounded box behind its children.
class RoundedBox : public QWidget {
    Q_OBJECT
public:
    explicit RoundedBox(RoundedBoxState state, QWidget* parent = nullptr);
    const RoundedBoxState& boxState() const { return state_; }
    void setBoxState(const RoundedBoxState& state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RoundedBoxState state_;
};

}  // namespace quillfen
