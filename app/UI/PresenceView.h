#pragma once

#include <QWidget>

#include "Support/RandomSource.h"
#include "UI/AnimationDriver.h"
#include "UI/BreathCycle.h"

namespace quillfen {

enum class PresenceState { rest, stir, ask, aggravated };

// The presence figure at one instant. eyePhase: 0 sagging arcs, 0.5 round dots, 1 raised
// arcs; breathPhase: how far the body has breathed in.
struct PresenceShapeState {
    double eyePhase = 0;
    double breathPhase = 0;
    // Width in points; the figure is 46 x 26 grid units. Line widths go by this, not the canvas.
    qreal width = 46;
    bool aggravated = false;
};

// Draws the figure into `canvas` (width x 26/46 of it), in moss only.
void paintPresenceShape(QPainter& painter, const QRectF& canvas, const PresenceShapeState& state);

// The shape scaled about its centre and faded, as the view shows it.
void paintPresence(QPainter& painter, const QRectF& canvas, const PresenceShapeState& shape, double scale,
                   double opacity);

// The figure, moving between its states: it breathes at rest, stirs, wakes to ask in two
// stages, and frowns when aggravated.
class PresenceView : public QWidget {
    Q_OBJECT
public:
    PresenceView(PresenceState state, qreal width, QWidget* parent = nullptr,
                 AnimationDriver& driver = AnimationDriver::shared(), AnyRNGBox random = AnyRNGBox(SystemRandom{}));

    PresenceState presenceState() const { return state_; }
    void setPresenceState(PresenceState state);
    void setReduceMotion(bool reduce);

    PresenceShapeState shapeState() const;
    double breathScale() const { return scale_.value(); }
    double breathOpacity() const { return opacity_.value(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void enter(PresenceState state, bool animated);
    void wakeStill(double eyePhase);

    AnimationDriver& driver_;
    PresenceState state_;
    qreal width_;
    bool reduceMotion_ = false;
    AnimatedValue breathPhase_;
    AnimatedValue eyePhase_;
    AnimatedValue scale_;
    AnimatedValue opacity_;
    BreathCycle breath_;
    AnimationDriver::Handle pending_;
};

}  // namespace quillfen
