#include "UI/PresenceView.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <cmath>

#include "UI/MotionTokens.h"
#include "UI/Render.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {

constexpr double kFrameInterval = 1.0 / 30.0;

QPen mossPen(qreal width) {
    QPen pen(Theme::moss(), width, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

void drawCalm(QPainter& p, const QRectF& c, qreal u, qreal l, double b, double e) {
    auto at = [&](qreal x, qreal y) { return c.topLeft() + QPointF(x * u, y * u); };
    p.setBrush(Qt::NoBrush);
    p.setPen(mossPen(1.5 * l));
    p.drawRoundedRect(QRectF(at(1.5, 1.5 - 0.6 * b), QSizeF(43 * u, (23 + 0.6 * b) * u)), 11.5 * u, 11.5 * u);
    const double eyeY = 12.5 + 0.4 * b;
    const double d = std::abs(e - 0.5);
    for (double x : {19.0, 27.0}) {
        if (d >= 0.14) {
            QPainterPath arc(at(x - 3, eyeY));
            arc.quadTo(at(x, eyeY + 3.5 * (1 - 2 * e)), at(x + 3, eyeY));
            p.setPen(mossPen(1.5 * l));
            p.setBrush(Qt::NoBrush);
            p.drawPath(arc);
        } else {
            const qreal r = 1.8 * u * (1 - d / 0.14);
            p.setPen(Qt::NoPen);
            p.setBrush(Theme::moss());
            p.drawEllipse(at(x, eyeY), r, r);
        }
    }
}

void drawAggravated(QPainter& p, const QRectF& c, qreal u, qreal l) {
    auto at = [&](qreal x, qreal y) { return c.topLeft() + QPointF(x * u, y * u); };
    p.setBrush(Qt::NoBrush);
    p.setPen(mossPen(1.5 * l));
    p.drawRoundedRect(QRectF(at(1.5, 0.4), QSizeF(43 * u, 25.2 * u)), 8.5 * u, 8.5 * u);
    p.setPen(mossPen(1.9 * l));
    p.drawLine(at(14.5, 8.6), at(21.5, 11.2));
    p.drawLine(at(31.5, 8.6), at(24.5, 11.2));
    p.setPen(mossPen(2.2 * l));
    p.drawLine(at(17.6, 13.9), at(21.2, 13.9));
    p.drawLine(at(24.8, 13.9), at(28.4, 13.9));
    QPainterPath mouth(at(20, 18.4));
    mouth.quadTo(at(23, 16.8), at(26, 18.4));
    p.setPen(mossPen(1.3 * l));
    p.drawPath(mouth);
}

}  // namespace

void paintPresenceShape(QPainter& painter, const QRectF& canvas, const PresenceShapeState& s) {
    const qreal u = canvas.width() / 46;
    const qreal l = s.width / 46;
    painter.save();
    if (s.aggravated) {
        drawAggravated(painter, canvas, u, l);
    } else {
        drawCalm(painter, canvas, u, l, s.breathPhase, s.eyePhase);
    }
    painter.restore();
}

PresenceView::PresenceView(PresenceState state, qreal width, QWidget* parent, AnimationDriver& driver,
                           AnyRNGBox random)
    : QWidget(parent),
      driver_(driver),
      state_(state),
      width_(width),
      breathPhase_(driver, 0),
      eyePhase_(driver, 0),
      scale_(driver, 0.985),
      opacity_(driver, 0.72),
      breath_(
          driver, std::move(random),
          [this] { return state_ == PresenceState::rest && !reduceMotion_ && isVisible(); },
          [this](const Animation& a) {
              breathPhase_.animateTo(1, a, kFrameInterval);
              scale_.animateTo(1.015, a, kFrameInterval);
              opacity_.animateTo(1.0, a, kFrameInterval);
          },
          [this](const Animation& a) {
              breathPhase_.animateTo(0, a, kFrameInterval);
              scale_.animateTo(0.985, a, kFrameInterval);
              opacity_.animateTo(0.72, a, kFrameInterval);
          }) {
    for (AnimatedValue* v : {&breathPhase_, &eyePhase_, &scale_, &opacity_}) v->setOnChange([this] { update(); });
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedSize(sizeHint());
}

QSize PresenceView::sizeHint() const {
    return {static_cast<int>(std::ceil(width_)), static_cast<int>(std::ceil(width_ * 26 / 46))};
}

PresenceShapeState PresenceView::shapeState() const {
    return {eyePhase_.value(), state_ == PresenceState::rest ? breathPhase_.value() : 0.0, width_,
            state_ == PresenceState::aggravated};
}

void PresenceView::setPresenceState(PresenceState state) {
    if (state == state_) return;
    state_ = state;
    enter(state, !reduceMotion_);
    update();
}

void PresenceView::setReduceMotion(bool reduce) {
    if (reduce == reduceMotion_) return;
    reduceMotion_ = reduce;
    if (reduce) {
        breath_.stop();
    } else {
        breath_.start();
    }
    update();
}

void PresenceView::wakeStill(double eyePhase) {
    breath_.stop();
    scale_.set(1);
    opacity_.set(1);
    eyePhase_.set(eyePhase);
}

void PresenceView::enter(PresenceState state, bool animated) {
    pending_.reset();
    switch (state) {
    case PresenceState::rest:
        if (!animated) {
            eyePhase_.set(0);
            breathPhase_.set(0);
            breath_.start();
        } else {
            // Settling leaves the breath's scale and opacity where they are until it breathes.
            breath_.stop();
            eyePhase_.animateTo(0, MotionTokens::Expand::returnCurve(), kFrameInterval);
            pending_ = driver_.after(MotionTokens::Expand::returnCurve().duration, [this] {
                if (state_ == PresenceState::rest) breath_.start();
            });
        }
        break;
    case PresenceState::stir:
        wakeStill(eyePhase_.value());
        if (animated) eyePhase_.animateTo(0.5, MotionTokens::Wake::stirCurve(), kFrameInterval);
        else eyePhase_.set(0.5);
        break;
    case PresenceState::ask:
        wakeStill(eyePhase_.value());
        if (!animated) {
            eyePhase_.set(1);
            break;
        }
        eyePhase_.animateTo(0.5, MotionTokens::Wake::stirCurve(), kFrameInterval);
        pending_ = driver_.after(1.0, [this] {
            if (state_ == PresenceState::ask) eyePhase_.animateTo(1, MotionTokens::Wake::curve(), kFrameInterval);
        });
        break;
    case PresenceState::aggravated:
        wakeStill(1);
        break;
    }
}

void paintPresence(QPainter& painter, const QRectF& canvas, const PresenceShapeState& shape, double scale,
                   double opacity) {
    const QRectF room = canvas.adjusted(-0.1 * canvas.width(), -0.1 * canvas.height(), 0.1 * canvas.width(),
                                        0.1 * canvas.height());
    paintAsLayer(painter, room, opacity, [&](QPainter& p) {
        p.save();
        p.translate(canvas.center());
        p.scale(scale, scale);
        p.translate(-canvas.center());
        paintPresenceShape(p, canvas, shape);
        p.restore();
    });
}

void PresenceView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    const bool breathing = state_ == PresenceState::rest && !reduceMotion_;
    const QRectF canvas((width() - width_) / 2, (height() - width_ * 26 / 46) / 2, width_, width_ * 26 / 46);
    paintPresence(painter, canvas, shapeState(), breathing ? scale_.value() : 1.0, breathing ? opacity_.value() : 1.0);
}

void PresenceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first showing takes its state without motion.
    enter(state_, false);
}

void PresenceView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    breath_.stop();
    pending_.reset();
}

}  // namespace quillfen
