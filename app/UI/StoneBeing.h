#pragma once

#include <QColor>
#include <QWidget>
#include <memory>
#include <optional>

#include "Support/RandomSource.h"
#include "UI/AnimationDriver.h"
#include "UI/BreathCycle.h"
#include "UI/StoneShape.h"
#include "UI/VisibilityWatch.h"

namespace quillfen {

// The stone as the larger surfaces show it, at one instant of its breathing.
struct StoneBeingState {
    StoneShapeState shape;
    bool fadesWhileBreathing = true;
    bool reduceMotion = false;
    double breathScale = 0.985;
    double breathOpacity = 0.72;
};

// The shape leaned 1.5 degrees about its bottom centre, then, while it breathes, scaled about
// its centre and (when it fades) drawn at the breath's opacity. `canvas` is width x 2/3 width.
void paintStoneBeing(QPainter& painter, const QRectF& canvas, const StoneBeingState& state);

// Whether a breath has moved the stone far enough since it was last drawn to be drawn again. A
// breath swells a stone `stoneWidth` points wide by a few pixels over seconds: a repaint waits
// until its edges have moved half a device pixel each (scaled about its centre, its width has
// changed by one), or the breath has arrived where it was heading.
bool breathMovedVisibly(double scale, double paintedScale, double targetScale, qreal stoneWidth,
                        qreal devicePixelRatio);

// The breathing stone: calm and neutral faces breathe, strained and open hold still, and
// nothing moves under reduce motion, nor while the stone cannot be seen (hidden, its window
// minimised, scrolled out of view), which it resumes from where it stood.
class StoneBeing : public QWidget {
    Q_OBJECT
public:
    StoneBeing(StoneFace face, const StoneIdentity& identity, qreal width, bool fadesWhileBreathing,
               QWidget* parent = nullptr, AnimationDriver& driver = AnimationDriver::shared(),
               AnyRNGBox random = AnyRNGBox(SystemRandom{}));

    void setFace(StoneFace face);
    void setIdentity(const StoneIdentity& identity);
    void setStoneWidth(qreal width);
    void setReduceMotion(bool reduce);
    // The plain colour the stone stands on, where it stands on one: the stone then lays it down
    // itself and covers its rectangle, so that a breath repaints the stone alone rather than
    // every widget under it too. An invalid colour leaves it see-through.
    void setBackdrop(const QColor& colour);

    const StoneBeingState& state() const { return state_; }
    QSize sizeHint() const override;
    const BreathCycle& breath() const { return breath_; }
    bool seen() const { return sight_->seen(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool mayBreathe() const;
    void holdStill();
    // Stops the breath where it stands, its motion under way included.
    void pause();
    void breathMoved();
    // The coarsest sampling of a breath that still draws each half-pixel step of it.
    double breathSampling(const Animation& breath) const;

    StoneBeingState state_;
    AnimatedValue scale_;
    AnimatedValue opacity_;
    BreathCycle breath_;
    QColor backdrop_;
    double paintedScale_ = 0;
    std::unique_ptr<VisibilityWatch> sight_;
};

}  // namespace quillfen
