#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string_view>

#include "UI/AnimationDriver.h"

namespace quillfen {

class DrawingWidget;
class ParagraphLabel;
class PlainTextButton;
class PresenceView;

// The dots under the exercise: one for each step, those still to come in the hairline colour.
struct GroundingDotsState {
    int index = 0;
};
void paintGroundingDots(QPainter& painter, const QRectF& box, const GroundingDotsState& state);

// The 5-4-3-2-1 senses exercise the panel runs in the ask's place: five steps, each fading in,
// holding and fading out on its own, then a closing line that waits for "Done". Leaving, by
// either button, ends the run at once.
class GroundingView : public QWidget {
    Q_OBJECT
public:
    struct Step {
        int id;
        std::string_view count;
        std::string_view sense;
    };
    static const std::array<Step, 5>& steps();

    // Each step holds this long from the start of its fade-in: six fade-ins.
    static constexpr double kFadeIn = 1.4;
    static constexpr double kHold = 6 * kFadeIn;
    static constexpr double kFadeOut = 0.6;
    static constexpr double kClosingFade = 1.0;

    explicit GroundingView(std::function<void()> onDone, QWidget* parent = nullptr,
                           AnimationDriver& driver = AnimationDriver::shared());

    void setReduceMotion(bool reduce);

    int index() const { return index_; }
    bool finished() const { return finished_; }
    double lineOpacity() const { return lineOpacity_.value(); }
    bool alive() const { return alive_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void beginStep();
    void advance();
    void leave();
    void refresh();

    AnimationDriver& driver_;
    std::function<void()> onDone_;
    int index_ = 0;
    bool finished_ = false;
    bool alive_ = true;
    bool reduceMotion_ = false;
    AnimatedValue lineOpacity_;
    AnimationDriver::Handle pending_;

    PresenceView* presence_;
    QWidget* stepBody_;
    ParagraphLabel* count_;
    ParagraphLabel* sense_;
    ParagraphLabel* closing_;
    DrawingWidget* dots_;
    PlainTextButton* button_;
};

}  // namespace quillfen
