#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "Support/RandomSource.h"
#include "UI/AnimationDriver.h"
#include "UI/BreathCycle.h"
#include "UI/LivingWindow.h"
#include "UI/LivingWindowModel.h"
#include "UI/StoneBeing.h"

namespace quillfen {

// What the pane reads of the mirror of the week, when there is one.
struct PaneMirror {
    StoneFace face = StoneFace::calm;
    bool claudeLoopLive = false;
    bool operator==(const PaneMirror&) const = default;
};

// Where the pane is heading for a state of the model: sizes in points.
struct LivingPaneTargets {
    LivingWindow::Geometry geometry;
    qreal stoneWidth = 0;
    qreal frameWidth = 0;
    qreal frameHeight = 0;
    StoneFace face = StoneFace::calm;
    QColor lineInk;
    // Without the aggravated pulse.
    double opacity = 1;
};
LivingPaneTargets livingPaneTargets(double score, bool aggravated, const std::optional<PaneMirror>& mirror);

// The line of words under the stone, wrapped to at most two lines.
struct CeilingLineLayout {
    QStringList lines;
    QSizeF textSize;
    // The bubble around the text, from the stack's leading edge.
    QSizeF bubbleSize;
};
CeilingLineLayout layoutCeilingLine(const QString& line);

// The pane at one instant.
struct LivingPaneState {
    StoneBeingState being;
    QString line;
    QColor lineInk;
    double lineOpacity = 1;
    qreal frameWidth = 258;
    qreal frameHeight = 145;
    // The whole pane's opacity, pulse included.
    double opacity = 1;
    // The knock: a downward offset in points and a rotation in degrees about the centre.
    double dy = 0;
    double rot = 0;
    // The part of the pane being repainted, when only a part is: what lies outside it is not
    // drawn at all (a breath repaints the stone, and shaping the line's text is not free).
    std::optional<QRectF> exposed;
};

// Draws the pane into `box` (its frame at the top left): the stone with its shadow and, when
// there is a line, the bubble under it, stacked from the bottom.
void paintLivingPane(QPainter& painter, const QRectF& box, const LivingPaneState& state);

// The desktop pane's content: it grows, darkens and wakes with the week's strain, and when
// aggravated it frowns, pulses and knocks. A click anywhere runs `onTap`.
class LivingWindowView : public QWidget {
    Q_OBJECT
public:
    LivingWindowView(LivingWindowModel& model, std::function<void()> onTap, QWidget* parent = nullptr,
                     AnimationDriver& driver = AnimationDriver::shared(),
                     AnyRNGBox random = AnyRNGBox(SystemRandom{}));

    void setMirror(std::optional<PaneMirror> mirror);
    void setReduceMotion(bool reduce);
    void setOnTap(std::function<void()> onTap) { onTap_ = std::move(onTap); }

    LivingPaneState state() const;
    double aggBreath() const { return aggBreath_.value(); }
    double breathScale() const { return breathScale_.value(); }
    double lastScore() const { return lastScore_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void modelChanged();
    void relayout(bool animated);
    void startAggBreathIfNeeded();
    void pulse(unsigned generation);
    void knockLoop();
    void knock(std::function<void()> finished);
    bool knocking() const;
    QRect stoneArea() const;

    LivingWindowModel& model_;
    std::function<void()> onTap_;
    AnimationDriver& driver_;
    std::optional<PaneMirror> mirror_;
    bool reduceMotion_ = false;
    double lastScore_ = 0;
    bool lastAggravated_ = false;
    StoneFace face_ = StoneFace::calm;
    QColor lineInk_;

    AnimatedValue frameWidth_;
    AnimatedValue stoneWidth_;
    AnimatedValue opacity_;
    AnimatedValue breathScale_;
    AnimatedValue aggBreath_;
    AnimatedValue dy_;
    AnimatedValue rot_;
    AnimatedValue lineOpacity_;
    QString shownLine_;
    double paintedBreathScale_ = 0;
    BreathCycle breath_;
    unsigned pulseGeneration_ = 0;
    // At most one knock loop at a time; it ends itself at a check that finds the pane calm.
    bool knockRunning_ = false;
    AnimationDriver::Handle pulseStep_;
    AnimationDriver::Handle knockStep_;
    AnimationDriver::Handle lineFade_;
};

}  // namespace quillfen
