#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "UI/AnimationDriver.h"
#include "UI/AskPhase.h"

namespace quillfen {

// The reveal's length for a seed: 10 s for 0, otherwise 9.2 to 10.8 s by one SplitMix64 draw.
double askRevealSeconds(std::uint64_t variant);

// Where the reveal stands. The content is drawn with `lineOpacity`, `lineRise` lower, scaled
// by `scale` about its top centre, at `opacity`, `drop` lower.
struct AskRevealState {
    double scale = 0.9;
    double opacity = 0;
    double lineOpacity = 0;
    double lineRise = 6;
    double drop = 0;
    bool operator==(const AskRevealState&) const = default;
};

// Draws `content` (the wrapped widgets as they rest in `box`) as the reveal shows it.
void paintAskReveal(QPainter& painter, const QRectF& box, const QPixmap& content, const AskRevealState& state);

// Reveals an ask slowly, in two overlapping stages over about ten seconds, and lets it sink
// away in a little over a second when it closes, then reports back once.
//
// Every phase change starts a new run; a delayed step acts only for the run that made it, so
// the settle step of a dismissed ask never resets the reveal of a newer ask or reports it
// settled.
class AskExpand : public QWidget {
    Q_OBJECT
public:
    AskExpand(AskPhase phase, std::uint64_t variant, std::function<void()> onSettled, QWidget* parent = nullptr,
              AnimationDriver& driver = AnimationDriver::shared());
    ~AskExpand() override;

    // The wrapped content; the reveal owns it and deletes the one it replaces.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

    AskPhase phase() const { return phase_; }
    // Follows the phase: a change runs the reveal, the same phase again does nothing.
    void setPhase(AskPhase phase);
    void setVariant(std::uint64_t variant) { variant_ = variant; }
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }

    // A dismissal is under way and has yet to report back.
    bool settling() const { return phase_ == AskPhase::dismissing && settle_.active(); }

    AskRevealState state() const;
    // What shows of the content: both opacities together.
    double visibleOpacity() const { return opacity_.value() * lineOpacity_.value(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Effect;

    void run(AskPhase phase);
    void reset();
    void expand();
    void dismiss();
    void callSettled();
    void changed();

    AnimationDriver& driver_;
    AskPhase phase_;
    std::uint64_t variant_;
    std::function<void()> onSettled_;
    bool reduceMotion_ = false;
    // An expanding phase that arrived while off screen waits to be seen.
    bool expandWhenShown_ = false;
    std::uint64_t generation_ = 0;
    QPointer<QWidget> content_;
    Effect* effect_;
    AnimatedValue scale_, opacity_, lineOpacity_, lineRise_, drop_;
    AnimationDriver::Handle stage_, settle_;
};

}  // namespace quillfen
