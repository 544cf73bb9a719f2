#pragma once

#include <QPixmap>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "Onboarding/OnboardingFlow.h"
#include "Onboarding/OnboardingSources.h"
#include "Support/RandomSource.h"
#include "UI/AnimationDriver.h"
#include "UI/OnboardingModel.h"

class QLabel;
class QLineEdit;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace quillfen {

class DrawingWidget;
class FlowChips;
class RowButton;
class StoneBeing;
class TextBlock;
class TextButton;

// The progress marks of the top line: one short rule a step, the current one longer and moss.
struct StepMarksState {
    int count = 7;
    int current = 0;
};
QSizeF stepMarksSize(int count);
void paintStepMarks(QPainter& painter, const QRectF& box, const StepMarksState& state);

// A round mark: the reading's activity dot, the assurance ring, a boundary row's selection
// mark and the notification preview's dot. The stroke lies inside the circle.
struct CircleMarkState {
    QColor fill = Qt::transparent;
    QColor stroke = Qt::transparent;
    qreal strokeWidth = 0;
};
void paintCircleMark(QPainter& painter, const QRectF& box, const CircleMarkState& state);

// The settled step's little screen: the desktop, the tray's bar along its top and the frame.
struct DesktopPictureState {
    qreal barHeight = 20;
};
void paintDesktopPicture(QPainter& painter, const QRectF& box, const DesktopPictureState& state);

// The step that was showing, fading out over the new one.
struct BeatFadeState {
    QPixmap from;
    double opacity = 0;
};
void paintBeatFade(QPainter& painter, const QRectF& box, const BeatFadeState& state);

// The onboarding window's content: the top line with the step marks, then the step the model
// is at, each in the same frame (eyebrow, headline, lead, the step's own content, the action
// row). It acts only through its model, which it keeps; the controller holds the model weakly.
//
// The window is 500 x 720 and is hidden, not ended, when closed; Escape closes it. A step's
// content scrolls when it outgrows the window, so the action row always stays in view.
class OnboardingScreen : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 720;

    explicit OnboardingScreen(std::unique_ptr<OnboardingModel> model, QWidget* parent = nullptr,
                              AnimationDriver& driver = AnimationDriver::shared(),
                              AnyRNGBox random = AnyRNGBox(SystemRandom{}));
    ~OnboardingScreen() override;

    OnboardingModel& model() { return *model_; }

    // The desktop's wish for less motion, filled by the controller: step changes land at once
    // and the stones hold still.
    void setReduceMotion(bool reduce);

    // How much of the step before still shows over the current one, while a step change fades.
    std::optional<double> fadingStepOpacity() const;

    // The page of the step showing.
    QWidget* currentStepPage() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // What every step's page has.
    struct Frame {
        QWidget* page = nullptr;
        QScrollArea* scroll = nullptr;
        TextButton* primary = nullptr;
        TextButton* secondary = nullptr;
        TextButton* back = nullptr;
        // The controls in the order Tab visits them.
        std::vector<QWidget*> focusOrder;
    };
    struct GrantRow {
        TextButton* allow = nullptr;
        QLabel* word = nullptr;
    };
    struct QuietField {
        QWidget* box = nullptr;
        QLineEdit* edit = nullptr;
    };

    // Builds a step's page around the content that `fill` adds to the body.
    void buildFrame(OnboardingBeat beat, bool contentFillsHeight, const std::function<void(QVBoxLayout&)>& fill);
    QWidget* buildActionRow(OnboardingBeat beat, Frame& frame);
    void buildTopLine(QVBoxLayout& layout);
    void buildRecognition(QVBoxLayout& body);
    void buildReading(QVBoxLayout& body);
    void buildWorkSources(QVBoxLayout& body);
    void buildOptionalContext(QVBoxLayout& body);
    void buildBoundary(QVBoxLayout& body);
    void buildOneMoment(QVBoxLayout& body);
    void buildPromise(QVBoxLayout& body);
    void buildSettled(QVBoxLayout& body);
    QWidget* buildAssurance(QWidget* parent, const QString& note, const char* name);
    GrantRow buildGrantRow(QVBoxLayout& body, const ContextGrant& grant, void (OnboardingModel::*allow)(),
                           Frame& frame);
    TextButton* buildChip(QWidget* parent, const QString& title, const char* name);
    QuietField buildQuietField(QWidget* parent, const QString& placeholder, const char* name,
                               void (OnboardingModel::*write)(std::string));
    StoneBeing* buildStone(QWidget* parent, qreal width, bool fadesWhileBreathing, const char* name);

    void refresh();
    void showStep(OnboardingBeat beat);
    void refreshTopLine();
    void refreshReading();
    void refreshSources();
    void refreshGrant(const GrantRow& row, ContextGrantState state);
    void refreshPromise();
    void keepFocusedFieldInView();
    void startFade();
    void endFade();
    Frame& frame(OnboardingBeat beat);

    std::unique_ptr<OnboardingModel> model_;
    AnimationDriver& driver_;
    AnyRNGBox random_;
    bool reduceMotion_ = false;
    OnboardingBeat shownBeat_;

    QWidget* topLine_ = nullptr;
    DrawingWidget* marks_ = nullptr;
    StepMarksState marksState_;
    QStackedWidget* pages_ = nullptr;
    std::array<Frame, 8> frames_;
    std::vector<StoneBeing*> stones_;
    TextBlock* settledLead_ = nullptr;
    StoneBeing* trayStone_ = nullptr;

    QLabel* identityLine_ = nullptr;
    DrawingWidget* readingDot_ = nullptr;
    QLabel* readingHeadline_ = nullptr;
    TextBlock* readingDetail_ = nullptr;
    QVBoxLayout* sourceRows_ = nullptr;
    std::vector<WorkSource> shownSources_;
    GrantRow calendarRow_, weatherRow_;
    std::array<RowButton*, 3> boundaryRows_{};
    std::array<CircleMarkState, 3> boundaryMarks_{};
    TextBlock* exampleLine_ = nullptr;
    TextBlock* becauseLine_ = nullptr;
    TextBlock* sentence_ = nullptr;
    std::vector<TextButton*> dayChips_;
    TextButton* dayOwnChip_ = nullptr;
    QuietField dayField_;
    std::vector<TextButton*> moveChips_;
    TextButton* moveOwnChip_ = nullptr;
    QuietField moveField_;
    TextBlock* keepFailedNote_ = nullptr;

    DrawingWidget* fade_ = nullptr;
    BeatFadeState fadeState_;
    AnimationDriver::Handle fadeMotion_;
};

}  // namespace quillfen
