#include "UI/GroundingView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "UI/ParagraphLabel.h"
#include "UI/PlainTextButton.h"
#include "UI/PresenceView.h"
#include "UI/Render.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

namespace {

constexpr qreal kDot = 5;
constexpr qreal kDotSpacing = 6;

}  // namespace

void paintGroundingDots(QPainter& painter, const QRectF& box, const GroundingDotsState& state) {
    painter.save();
    painter.setPen(Qt::NoPen);
    const qreal top = box.center().y() - kDot / 2;
    for (const auto& step : GroundingView::steps()) {
        painter.setBrush(step.id > state.index ? Theme::line() : Theme::ink3());
        painter.drawEllipse(QRectF(box.left() + step.id * (kDot + kDotSpacing), top, kDot, kDot));
    }
    painter.restore();
}

const std::array<GroundingView::Step, 5>& GroundingView::steps() {
    static const std::array<Step, 5> table{{
        {0, "5", "things you can see"},
        {1, "4", "things you can feel"},
        {2, "3", "things you can hear"},
        {3, "2", "things you can smell"},
        {4, "1", "thing you can taste"},
    }};
    return table;
}

GroundingView::GroundingView(std::function<void()> onDone, QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), driver_(driver), onDone_(std::move(onDone)), lineOpacity_(driver, 0) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    presence_ = new PresenceView(PresenceState::ask, 46, this, driver);
    presence_->setObjectName("presence");
    column->addWidget(presence_, 0, Qt::AlignLeft);
    column->addSpacing(26);

    auto* textArea = new QWidget(this);
    textArea->setObjectName("textArea");
    textArea->setMinimumHeight(92);
    auto* textColumn = new QVBoxLayout(textArea);
    textColumn->setContentsMargins(0, 0, 0, 0);
    textColumn->setSpacing(0);
    stepBody_ = new QWidget(textArea);
    stepBody_->setObjectName("stepBody");
    auto* stepColumn = new QVBoxLayout(stepBody_);
    stepColumn->setContentsMargins(0, 0, 0, 0);
    stepColumn->setSpacing(10);
    count_ = new ParagraphLabel({}, Theme::sans(44, QFont::Medium), Theme::ink(), 0, stepBody_);
    count_->setObjectName("count");
    sense_ = new ParagraphLabel({}, Theme::sans(19), Theme::ink(), 4, stepBody_);
    sense_->setObjectName("sense");
    stepColumn->addWidget(count_);
    stepColumn->addWidget(sense_);
    closing_ = new ParagraphLabel(QStringLiteral("That’s the reset."), Theme::sans(19), Theme::ink(), 4, textArea);
    closing_->setObjectName("closing");
    textColumn->addWidget(stepBody_);
    textColumn->addWidget(closing_);
    textColumn->addStretch(1);
    column->addWidget(textArea);

    column->addSpacerItem(new QSpacerItem(0, 24, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    dots_ = new DrawingWidget({}, this);
    dots_->setObjectName("dots");
    dots_->setFixedSize(static_cast<int>(5 * kDot + 4 * kDotSpacing), static_cast<int>(kDot));
    row->addWidget(dots_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    button_ = new PlainTextButton({}, Theme::sans(13), Theme::ink3(), this);
    button_->setObjectName("leaveButton");
    row->addWidget(button_, 0, Qt::AlignVCenter);
    column->addLayout(row);

    QObject::connect(button_, &QAbstractButton::clicked, this, [this] { leave(); });
    auto showLineOpacity = [this] {
        for (ParagraphLabel* text : {count_, sense_, closing_}) text->setOpacity(lineOpacity_.value());
    };
    lineOpacity_.setOnChange(showLineOpacity);
    // The value it starts at is no change, yet the first frame must show it.
    showLineOpacity();
    refresh();
}

void GroundingView::setReduceMotion(bool reduce) {
    reduceMotion_ = reduce;
    presence_->setReduceMotion(reduce);
}

void GroundingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    alive_ = true;
    beginStep();
}

void GroundingView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    alive_ = false;
    // A step that falls due while away must not advance the run when it comes back.
    pending_.reset();
}

void GroundingView::beginStep() {
    refresh();
    lineOpacity_.set(0);
    lineOpacity_.moveTo(1, Animation::easeInOut(kFadeIn), reduceMotion_);
    pending_ = driver_.after(kHold, [this] { advance(); });
}

void GroundingView::advance() {
    if (!alive_ || finished_) return;
    const double fade = reduceMotion_ ? 0 : kFadeOut;
    lineOpacity_.moveTo(0, Animation::easeInOut(kFadeOut), reduceMotion_);
    pending_ = driver_.after(fade, [this] {
        if (!alive_) return;
        if (index_ > 3) {
            finished_ = true;
            refresh();
            lineOpacity_.set(0);
            // The closing line fades in under reduce motion too.
            lineOpacity_.animateTo(1, Animation::easeInOut(kClosingFade));
        } else {
            ++index_;
            beginStep();
        }
    });
}

void GroundingView::leave() {
    if (!alive_) return;
    alive_ = false;
    pending_.reset();
    // A copy: the shell ends this view in answer.
    std::function<void()> done = onDone_;
    if (done) done();
}

void GroundingView::refresh() {
    const Step& step = steps()[static_cast<std::size_t>(index_)];
    count_->setText(ViewBuilding::text(step.count));
    sense_->setText(ViewBuilding::text(step.sense));
    stepBody_->setVisible(!finished_);
    closing_->setVisible(finished_);
    dots_->setVisible(!finished_);
    dots_->setPaint([index = index_](QPainter& p, const QRectF& box) { paintGroundingDots(p, box, {index}); });
    button_->setText(finished_ ? QStringLiteral("Done") : QStringLiteral("Enough for now"));
    button_->updateGeometry();
}

}  // namespace quillfen
