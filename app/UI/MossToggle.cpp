#include "UI/MossToggle.h"

#include <QPainter>
#include <QSignalBlocker>

#include "UI/Render.h"
#include "UI/Theme.h"

namespace quillfen {

void paintMossToggle(QPainter& painter, const QRectF& box, const MossToggleState& s) {
    painter.save();
    const QRectF track(box.topLeft(), QSizeF(38, 22));
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::mixed(Theme::field(), Theme::faded(Theme::moss(), 0.85), s.knob));
    painter.drawRoundedRect(track, radius, radius);
    painter.setPen(QPen(Theme::line(), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);

    const qreal travel = track.width() - 22;
    const QRectF knob(track.left() + 2 + travel * s.knob, track.top() + 2, 18, 18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 38));
    painter.drawEllipse(knob.translated(0, 0.5).adjusted(-0.5, -0.5, 0.5, 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
    painter.restore();
}

MossToggle::MossToggle(bool on, QWidget* parent, AnimationDriver& driver)
    : QAbstractButton(parent), knob_(driver, on ? 1 : 0, [this] { update(); }) {
    setCheckable(true);
    setChecked(on);
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground, true);
    describe();
}

void MossToggle::setOn(bool on) {
    if (on == isChecked()) return;
    QSignalBlocker quiet(this);
    setChecked(on);
    knob_.set(on ? 1 : 0);
    describe();
}

void MossToggle::nextCheckState() {
    QAbstractButton::nextCheckState();
    knob_.moveTo(isChecked() ? 1 : 0, Animation::easeInOut(0.15), reduceMotion_);
    describe();
}

void MossToggle::describe() {
    setAccessibleDescription(isChecked() ? QStringLiteral("on") : QStringLiteral("off"));
}

void MossToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintMossToggle(painter, QRectF(rect()), state());
}

}  // namespace quillfen
