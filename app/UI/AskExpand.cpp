#include "UI/AskExpand.h"

#include <QGraphicsEffect>
#include <QPainter>
#include <QVBoxLayout>

#include "UI/MotionTokens.h"
#include "UI/Render.h"

namespace quillfen {

double askRevealSeconds(std::uint64_t variant) {
    if (variant == 0) return 10.0;
    std::uint64_t z = variant + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z = z ^ (z >> 31);
    const double u = static_cast<double>(z >> 11) / 9007199254740992.0;
    return ((u * 0.16 + 1.0) - 0.08) * 10.0;
}

void paintAskReveal(QPainter& painter, const QRectF& box, const QPixmap& content, const AskRevealState& s) {
    const double alpha = s.opacity * s.lineOpacity;
    if (!(alpha > 0) || content.isNull()) return;
    painter.save();
    painter.setOpacity(painter.opacity() * std::min(1.0, alpha));
    const QPointF topCentre(box.center().x(), box.top());
    painter.translate(0, s.drop);
    painter.translate(topCentre);
    painter.scale(s.scale, s.scale);
    painter.translate(-topCentre);
    painter.translate(0, s.lineRise);
    painter.drawPixmap(box.topLeft(), content);
    painter.restore();
}

// Draws the reveal's widget and everything inside it through the reveal's transform.
class AskExpand::Effect : public QGraphicsEffect {
public:
    explicit Effect(AskExpand& owner) : owner_(owner) {}

    QRectF boundingRectFor(const QRectF& rect) const override {
        // Room below for the rise and the drop.
        return rect.adjusted(0, 0, 0, 12);
    }

protected:
    void draw(QPainter* painter) override {
        const AskRevealState s = owner_.state();
        if (s == AskRevealState{1, 1, 1, 0, 0}) {
            drawSource(painter);
            return;
        }
        if (!(s.opacity * s.lineOpacity > 0)) return;
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
        paintAskReveal(*painter, QRectF(offset, pixmap.deviceIndependentSize()), pixmap, s);
    }

private:
    AskExpand& owner_;
};

AskExpand::AskExpand(AskPhase phase, std::uint64_t variant, std::function<void()> onSettled, QWidget* parent,
                     AnimationDriver& driver)
    : QWidget(parent),
      driver_(driver),
      phase_(phase),
      variant_(variant),
      onSettled_(std::move(onSettled)),
      effect_(new Effect(*this)),
      scale_(driver, 0.9, [this] { changed(); }),
      opacity_(driver, 0, [this] { changed(); }),
      lineOpacity_(driver, 0, [this] { changed(); }),
      lineRise_(driver, 6, [this] { changed(); }),
      drop_(driver, 0, [this] { changed(); }) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setGraphicsEffect(effect_);
    expandWhenShown_ = phase == AskPhase::expanding;
    changed();
}

AskExpand::~AskExpand() {
    // The values tell the effect on every change; it goes with the widget, so stop them first.
    for (AnimatedValue* v : {&scale_, &opacity_, &lineOpacity_, &lineRise_, &drop_}) v->setOnChange({});
    stage_.reset();
    settle_.reset();
}

void AskExpand::setContent(QWidget* content) {
    if (content == content_) return;
    if (content_) {
        content_->hide();
        content_->deleteLater();
    }
    content_ = content;
    if (content) {
        layout()->addWidget(content);
        content->show();
    }
}

void AskExpand::setPhase(AskPhase phase) {
    if (phase == phase_) return;
    phase_ = phase;
    run(phase);
}

AskRevealState AskExpand::state() const {
    return {scale_.value(), opacity_.value(), lineOpacity_.value(), lineRise_.value(), drop_.value()};
}

void AskExpand::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (expandWhenShown_ && phase_ == AskPhase::expanding) run(phase_);
}

void AskExpand::run(AskPhase phase) {
    ++generation_;
    expandWhenShown_ = false;
    switch (phase) {
        case AskPhase::hidden:
            reset();
            break;
        case AskPhase::expanding:
            // A reveal nobody sees would be over before anyone looked; it waits to be shown.
            if (isVisible()) expand();
            else expandWhenShown_ = true;
            break;
        case AskPhase::dismissing:
            // Runs on screen or off: the ask must settle even when the popover has closed.
            dismiss();
            break;
    }
}

void AskExpand::reset() {
    scale_.set(0.9);
    opacity_.set(0);
    lineOpacity_.set(0);
    lineRise_.set(6);
    drop_.set(0);
}

void AskExpand::expand() {
    drop_.set(0);
    if (reduceMotion_) {
        scale_.set(1);
        opacity_.set(1);
        lineOpacity_.set(1);
        lineRise_.set(0);
        return;
    }
    const double total = askRevealSeconds(variant_);
    const Animation frame{TimingCurve::bezier(0.25, 0.1, 0.35, 1.0), total};
    scale_.animateTo(1, frame);
    opacity_.animateTo(1, frame);
    const double secondStage = total * 0.15;
    const std::uint64_t generation = generation_;
    stage_ = driver_.after(secondStage, [this, generation, total, secondStage] {
        if (generation != generation_ || phase_ != AskPhase::expanding) return;
        const Animation line{TimingCurve::bezier(0.2, 0.6, 0.3, 1.0), total - secondStage};
        lineOpacity_.animateTo(1, line);
        lineRise_.animateTo(0, line);
    });
}

void AskExpand::dismiss() {
    if (reduceMotion_) {
        reset();
        callSettled();
        return;
    }
    const Animation& curve = MotionTokens::Expand::dismissCurve();
    opacity_.animateTo(0, curve);
    scale_.animateTo(0.965, curve);
    drop_.animateTo(4, curve);
    lineOpacity_.animateTo(0, curve);
    const std::uint64_t generation = generation_;
    settle_ = driver_.after(curve.duration, [this, generation] {
        if (generation != generation_) return;
        reset();
        callSettled();
    });
}

void AskExpand::callSettled() {
    // A copy: settling may end this view, and the field with it, while the shell runs.
    std::function<void()> settled = onSettled_;
    if (settled) settled();
}

void AskExpand::changed() {
    // An ask that cannot be seen takes no clicks.
    setAttribute(Qt::WA_TransparentForMouseEvents, !(visibleOpacity() > 0));
    if (effect_) effect_->update();
}

}  // namespace quillfen
