#include "UI/StoneBeing.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "UI/Render.h"

namespace quillfen {

namespace {
// How far a breath swells the stone, from its breath out to its breath in.
constexpr double kBreathOutScale = 0.985;
constexpr double kBreathInScale = 1.015;
}  // namespace

void paintStoneBeing(QPainter& painter, const QRectF& canvas, const StoneBeingState& s) {
    const bool breathing = breathes(s.shape.face) && !s.reduceMotion;
    const double scale = breathing ? s.breathScale : 1.0;
    const double opacity = breathing && s.fadesWhileBreathing ? s.breathOpacity : 1.0;
    // Room for the breath, the lean and the outline's half width.
    const QRectF room = canvas.adjusted(-0.1 * canvas.width(), -0.1 * canvas.height(), 0.1 * canvas.width(),
                                        0.1 * canvas.height());
    paintAsLayer(painter, room, opacity, [&](QPainter& p) {
        p.save();
        // Transforms act on the drawing in reverse order of these calls: lean first, then breathe.
        const QPointF centre = canvas.center();
        p.translate(centre);
        p.scale(scale, scale);
        p.translate(-centre);
        const QPointF bottom(canvas.center().x(), canvas.bottom());
        p.translate(bottom);
        p.rotate(-1.5);
        p.translate(-bottom);
        paintStoneShape(p, canvas, s.shape);
        p.restore();
    });
}

bool breathMovedVisibly(double scale, double paintedScale, double targetScale, qreal stoneWidth,
                        qreal devicePixelRatio) {
    const double widthMoved = std::abs(scale - paintedScale) * stoneWidth * std::max<qreal>(1.0, devicePixelRatio);
    return widthMoved >= 1.0 || scale == targetScale;
}

StoneBeing::StoneBeing(StoneFace face, const StoneIdentity& identity, qreal width, bool fadesWhileBreathing,
                       QWidget* parent, AnimationDriver& driver, AnyRNGBox random)
    : QWidget(parent),
      scale_(driver, kBreathOutScale),
      opacity_(driver, 0.72),
      breath_(
          driver, std::move(random), [this] { return mayBreathe(); },
          [this](const Animation& a) {
              scale_.animateTo(kBreathInScale, a, breathSampling(a));
              opacity_.animateTo(1.0, a, breathSampling(a));
          },
          [this](const Animation& a) {
              scale_.animateTo(kBreathOutScale, a, breathSampling(a));
              opacity_.animateTo(0.72, a, breathSampling(a));
          }) {
    state_.shape = {face, identity, width};
    state_.fadesWhileBreathing = fadesWhileBreathing;
    scale_.setOnChange([this] { breathMoved(); });
    opacity_.setOnChange([this] { breathMoved(); });
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedSize(sizeHint());
    sight_ = std::make_unique<VisibilityWatch>(*this, [this](bool seen) {
        if (seen) breath_.start(); else pause();
    });
}

void StoneBeing::breathMoved() {
    state_.breathScale = scale_.value();
    state_.breathOpacity = opacity_.value();
    // The fade follows the swell's curve, so it is drawn whenever the swell is.
    if (breathMovedVisibly(scale_.value(), paintedScale_, scale_.target(), state_.shape.width, devicePixelRatioF()))
        update();
}

double StoneBeing::breathSampling(const Animation& breath) const {
    // About two samples for each device pixel the breath moves the stone's width: finer ones
    // would find nothing to draw, and each wakes the application. A 66-point stone moves two
    // pixels in a breath in, and is sampled twice a second rather than twelve times.
    const double pixels =
        (kBreathInScale - kBreathOutScale) * state_.shape.width * std::max<qreal>(1.0, devicePixelRatioF());
    return std::clamp(breath.duration / std::max(pixels, 1.0) / 2, 1.0 / 12, 0.5);
}

QSize StoneBeing::sizeHint() const {
    const qreal w = state_.shape.width;
    return {static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(w * 2 / 3))};
}

bool StoneBeing::mayBreathe() const {
    return breathes(state_.shape.face) && !state_.reduceMotion && sight_ && sight_->seen();
}

void StoneBeing::pause() {
    breath_.stop();
    scale_.set(scale_.value());
    opacity_.set(opacity_.value());
}

void StoneBeing::holdStill() {
    breath_.stop();
    scale_.set(1);
    opacity_.set(1);
}

void StoneBeing::setFace(StoneFace face) {
    if (face == state_.shape.face) return;
    state_.shape.face = face;
    if (breathes(face)) {
        breath_.start();
    } else {
        holdStill();
    }
    update();
}

void StoneBeing::setIdentity(const StoneIdentity& identity) {
    if (identity == state_.shape.identity) return;
    state_.shape.identity = identity;
    update();
}

void StoneBeing::setStoneWidth(qreal width) {
    if (width == state_.shape.width) return;
    state_.shape.width = width;
    setFixedSize(sizeHint());
    update();
}

void StoneBeing::setReduceMotion(bool reduce) {
    if (reduce == state_.reduceMotion) return;
    state_.reduceMotion = reduce;
    if (reduce) pause(); else breath_.start();
    update();
}

void StoneBeing::setBackdrop(const QColor& colour) {
    if (colour == backdrop_) return;
    backdrop_ = colour;
    setAttribute(Qt::WA_OpaquePaintEvent, backdrop_.isValid() && backdrop_.alpha() == 255);
    update();
}

void StoneBeing::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (backdrop_.isValid()) painter.fillRect(event->rect(), backdrop_);
    prepare(painter);
    paintedScale_ = state_.breathScale;
    const qreal w = state_.shape.width;
    paintStoneBeing(painter, QRectF((width() - w) / 2, (height() - w * 2 / 3) / 2, w, w * 2 / 3), state_);
}

}  // namespace quillfen
