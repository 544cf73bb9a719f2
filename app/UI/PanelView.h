#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

#include "UI/AnimationDriver.h"
#include "UI/PanelModel.h"
#include "UI/StoneFace.h"

class QVBoxLayout;

namespace quillfen {

class AskExpand;
class GroundingView;
class ParagraphLabel;
class PlainTextButton;
class StoneBeing;

// What the panel reads of the mirror of the week: the calm stone's face and today's strip.
struct PanelMirror {
    // Announces that what it shows may have changed; the panel listens while both live.
    QPointer<ObservableModel> model;
    std::function<StoneFace()> face;
    // Builds today's strip into the calm body, which gives it its height; none leaves it out.
    std::function<QWidget*(QWidget* parent)> makeStrip;
};

// The ember rule under an ask: a one-point line fading out towards its trailing end.
void paintEmberRule(QPainter& painter, const QRectF& box);

// The popover panel: the calm body, or the nudge with its staged reveal (and the grounding
// exercise in the ask's place), over a footer. It reads the model, writes only its
// `frequency`, and otherwise acts through the model's callbacks.
class PanelView : public QWidget {
    Q_OBJECT
public:
    PanelView(PanelModel& model, std::optional<PanelMirror> mirror, WindowPresence presence = {},
              QWidget* parent = nullptr, AnimationDriver& driver = AnimationDriver::shared());
    ~PanelView() override;

    void setReduceMotion(bool reduce);
    // The fixed width, and the height the wrapped texts need at it.
    QSize sizeHint() const override;
    const WindowPresence& presence() const { return presence_; }

protected:
    bool event(QEvent* event) override;

private:
    void refresh();
    void apply();
    void buildCalmBody();
    void applyCalmBody();
    void buildNudgeBody();
    void retireNudgeBody();
    void applyNudgeBody(const NudgeCopy& nudge);
    QWidget* buildAskContent();
    void applyAskContent(const NudgeCopy& nudge);
    void buildFooter(QVBoxLayout* outer);
    void applyFooter();
    StoneFace calmFace() const;

    PanelModel& model_;
    std::optional<PanelMirror> mirror_;
    WindowPresence presence_;
    AnimationDriver& driver_;
    bool reduceMotion_ = false;
    bool refreshing_ = false;
    bool again_ = false;

    QWidget* body_ = nullptr;
    QVBoxLayout* bodyLayout_ = nullptr;

    QWidget* calmBody_ = nullptr;
    StoneBeing* calmStone_ = nullptr;
    ParagraphLabel* headline_ = nullptr;
    ParagraphLabel* subline_ = nullptr;
    QWidget* strip_ = nullptr;
    PlainTextButton* preview_ = nullptr;
    PlainTextButton* changeNote_ = nullptr;

    QPointer<QWidget> nudgeBody_;
    bool nudgeBodyStatic_ = false;
    QPointer<StoneBeing> nudgeStone_;
    QPointer<AskExpand> askExpand_;
    QPointer<QWidget> staticHost_;
    QPointer<QWidget> askContent_;
    QPointer<GroundingView> grounding_;
    QPointer<ParagraphLabel> lineOne_;
    QPointer<ParagraphLabel> lineTwo_;
    QPointer<PlainTextButton> primary_;
    QPointer<PlainTextButton> dismiss_;

    std::vector<std::pair<NudgeFrequency, PlainTextButton*>> frequencyButtons_;
};

}  // namespace quillfen
