#include "UI/OnboardingScreen.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <tuple>
#include <utility>

#include "Promise/PromiseCatalog.h"
#include "UI/ExactText.h"
#include "UI/FlowChips.h"
#include "UI/Render.h"
#include "UI/StoneBeing.h"
#include "UI/TextBlock.h"
#include "UI/TextButton.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

namespace {

// Text buttons are this much larger than their text on every side, to hold the focus ring;
// the action row's margins and gaps are that much smaller, so the texts sit where they would
// without it.
constexpr qreal kFocusMargin = 4;
constexpr int kSideMargin = 48;

const char* const kPageNames[] = {"recognitionStep", "readingStep",  "workSourcesStep", "optionalContextStep",
                                  "boundaryStep",    "oneMomentStep", "promiseStep",    "settledStep"};
static_assert(std::size(kPageNames) == std::size(kAllOnboardingBeats));

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    // A label on a button draws in the button's text role.
    p.setColor(QPalette::ButtonText, colour);
    widget->setPalette(p);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font, const QColor& colour) {
    auto* label = new ExactLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

TextBlock* makeText(QWidget* parent, const char* name, const QString& text, const QFont& font, const QColor& colour,
                    qreal lineSpacing, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* block = new TextBlock(parent);
    block->setObjectName(QString::fromLatin1(name));
    block->setFont(font);
    block->setColour(colour);
    block->setLineSpacing(lineSpacing);
    block->setAlignment(alignment);
    block->setText(text);
    return block;
}

// The hairline between the rows of a list, across the full width.
QWidget* hairline(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setObjectName(QStringLiteral("divider"));
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, Theme::line());
    line->setPalette(p);
    return line;
}

// A widget `size` large with a round mark in `circle`.
DrawingWidget* circleMark(QWidget* parent, const char* name, QSize size, QRectF circle,
                          std::function<CircleMarkState()> state) {
    auto* mark = new DrawingWidget(
        [circle, state = std::move(state)](QPainter& p, const QRectF&) { paintCircleMark(p, circle, state()); },
        parent);
    mark->setObjectName(QString::fromLatin1(name));
    mark->setFixedSize(size);
    return mark;
}

QVBoxLayout* column(QWidget* owner, QMargins margins = {}, int spacing = 0) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

QHBoxLayout* row(QWidget* owner, QMargins margins = {}, int spacing = 0) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

ButtonLook primaryLook(bool enabled) {
    ButtonLook look;
    look.font = Theme::sans(15, QFont::Medium);
    look.text = enabled ? Theme::ink() : Theme::ink3();
    look.padding = QMarginsF(kFocusMargin, kFocusMargin, kFocusMargin, kFocusMargin);
    if (enabled) look.underline = Theme::ink();
    return look;
}

ButtonLook quietLook() {
    ButtonLook look;
    look.font = Theme::sans(13);
    look.text = Theme::ink3();
    look.padding = QMarginsF(kFocusMargin, kFocusMargin, kFocusMargin, kFocusMargin);
    return look;
}

ButtonLook chipLook(bool on) {
    ButtonLook look;
    look.font = Theme::sans(14);
    look.text = on ? Theme::ink() : Theme::ink2();
    look.padding = QMarginsF(14, 7, 14, 7);
    look.radius = 20;
    look.fill = on ? Theme::field() : QColor(Qt::transparent);
    look.outline = on ? Theme::ink3() : Theme::line();
    return look;
}

ButtonLook allowLook() {
    ButtonLook look;
    look.font = Theme::sans(12);
    look.text = Theme::ink2();
    look.padding = QMarginsF(12, 6, 12, 6);
    look.radius = 3;
    look.outline = Theme::line();
    return look;
}

// A thin scroll bar that keeps to the palette; it shows only when a step outgrows the window.
void quietScrollBar(QScrollArea* scroll) {
    scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: 6px 3px 6px 1px; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 32px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(Theme::line().name()));
}

}  // namespace

QSizeF stepMarksSize(int count) {
    if (count <= 0) return {0, 1};
    return {24.0 + 16.0 * (count - 1) + 6.0 * (count - 1), 1};
}

void paintStepMarks(QPainter& painter, const QRectF& box, const StepMarksState& state) {
    qreal x = box.left();
    const qreal y = box.center().y() - 0.5;
    for (int i = 0; i < state.count; ++i) {
        const bool current = i == state.current;
        const qreal width = current ? 24 : 16;
        painter.fillRect(QRectF(x, y, width, 1), current ? Theme::moss() : Theme::line());
        x += width + 6;
    }
}

void paintCircleMark(QPainter& painter, const QRectF& box, const CircleMarkState& state) {
    painter.save();
    painter.setPen(Qt::NoPen);
    if (state.fill.alpha() > 0) {
        painter.setBrush(state.fill);
        painter.drawEllipse(box);
    }
    if (state.strokeWidth > 0 && state.stroke.alpha() > 0) {
        const qreal half = state.strokeWidth / 2;
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(state.stroke, state.strokeWidth));
        painter.drawEllipse(box.adjusted(half, half, -half, -half));
    }
    painter.restore();
}

void paintDesktopPicture(QPainter& painter, const QRectF& box, const DesktopPictureState& state) {
    painter.save();
    painter.fillRect(box, Theme::field());
    const QRectF bar(box.left(), box.top(), box.width(), state.barHeight);
    painter.fillRect(bar, Theme::faded(Theme::paper(), 0.8));
    painter.fillRect(QRectF(bar.left(), bar.bottom() - 1, bar.width(), 1), Theme::line());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Theme::line(), 1));
    painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

void paintBeatFade(QPainter& painter, const QRectF& box, const BeatFadeState& state) {
    if (state.from.isNull() || state.opacity <= 0) return;
    painter.save();
    painter.setOpacity(painter.opacity() * state.opacity);
    painter.drawPixmap(box.topLeft(), state.from);
    painter.restore();
}

OnboardingScreen::OnboardingScreen(std::unique_ptr<OnboardingModel> model, QWidget* parent, AnimationDriver& driver,
                                   AnyRNGBox random)
    : QWidget(parent),
      model_(std::move(model)),
      driver_(driver),
      random_(std::move(random)),
      reduceMotion_(model_->reduceMotion()),
      shownBeat_(model_->beat()) {
    Q_ASSERT(model_->parent() == nullptr);
    setObjectName(QStringLiteral("onboardingScreen"));
    setFixedSize(kWidth, kHeight);
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::paper());
    setPalette(p);

    auto* layout = column(this);
    buildTopLine(*layout);
    pages_ = new QStackedWidget(this);
    layout->addWidget(pages_, 1);

    using Beat = OnboardingBeat;
    buildFrame(Beat::recognition, true, [this](QVBoxLayout& body) { buildRecognition(body); });
    buildFrame(Beat::reading, false, [this](QVBoxLayout& body) { buildReading(body); });
    buildFrame(Beat::workSources, false, [this](QVBoxLayout& body) { buildWorkSources(body); });
    buildFrame(Beat::optionalContext, false, [this](QVBoxLayout& body) { buildOptionalContext(body); });
    buildFrame(Beat::boundary, false, [this](QVBoxLayout& body) { buildBoundary(body); });
    buildFrame(Beat::oneMoment, false, [this](QVBoxLayout& body) { buildOneMoment(body); });
    buildFrame(Beat::promise, false, [this](QVBoxLayout& body) { buildPromise(body); });
    buildFrame(Beat::settled, false, [this](QVBoxLayout& body) { buildSettled(body); });

    fade_ = new DrawingWidget([this](QPainter& painter, const QRectF& box) { paintBeatFade(painter, box, fadeState_); },
                              this);
    fade_->setObjectName(QStringLiteral("stepFade"));
    fade_->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    fade_->hide();

    connect(model_.get(), &OnboardingModel::changed, this, &OnboardingScreen::refresh);
    pages_->setCurrentIndex(OnboardingBeats::rawValue(shownBeat_));
    refresh();
}

// The model goes first, while the widgets that call it still stand; none calls it as it goes.
OnboardingScreen::~OnboardingScreen() {
    disconnect(model_.get(), nullptr, this, nullptr);
}

OnboardingScreen::Frame& OnboardingScreen::frame(OnboardingBeat beat) {
    return frames_[static_cast<std::size_t>(OnboardingBeats::rawValue(beat))];
}

QWidget* OnboardingScreen::currentStepPage() const {
    return pages_->currentWidget();
}

void OnboardingScreen::buildTopLine(QVBoxLayout& layout) {
    topLine_ = new QWidget(this);
    topLine_->setObjectName(QStringLiteral("topline"));
    auto* line = row(topLine_, QMargins(kSideMargin, 26, kSideMargin, 14));
    line->addWidget(makeLabel(topLine_, "toplineLabel", tr("ostrel agent"), Theme::sans(11), Theme::ink3()));
    line->addStretch(1);
    marksState_.count = static_cast<int>(OnboardingBeats::markedBeats().size());
    marks_ = new DrawingWidget([this](QPainter& p, const QRectF& box) { paintStepMarks(p, box, marksState_); },
                               topLine_);
    marks_->setObjectName(QStringLiteral("stepMarks"));
    const QSizeF size = stepMarksSize(marksState_.count);
    marks_->setFixedSize(static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height())));
    line->addWidget(marks_, 0, Qt::AlignVCenter);
    layout.addWidget(topLine_);
    topLine_->setVisible(model_->entry() == OnboardingModel::Entry::firstRun);
}

void OnboardingScreen::buildFrame(OnboardingBeat beat, bool contentFillsHeight,
                                  const std::function<void(QVBoxLayout&)>& fill) {
    Frame& f = frame(beat);
    f.page = new QWidget(pages_);
    f.page->setObjectName(QString::fromLatin1(kPageNames[OnboardingBeats::rawValue(beat)]));
    auto* page = column(f.page, QMargins(0, 0, 0, 38));

    // Only the content scrolls: however much the user writes, the actions stay in the window.
    f.scroll = new QScrollArea(f.page);
    f.scroll->setObjectName(QStringLiteral("stepContent"));
    f.scroll->setFrameShape(QFrame::NoFrame);
    f.scroll->setWidgetResizable(true);
    f.scroll->setFocusPolicy(Qt::NoFocus);
    f.scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    f.scroll->viewport()->setAutoFillBackground(false);
    quietScrollBar(f.scroll);

    auto* bodyWidget = new QWidget(f.scroll->viewport());
    bodyWidget->setObjectName(QStringLiteral("stepBody"));
    bodyWidget->setAutoFillBackground(false);
    const bool changeNote = model_->entry() == OnboardingModel::Entry::changeNote;
    auto* body = column(bodyWidget, QMargins(kSideMargin, changeNote ? 44 : 18, kSideMargin, 0));

    if (auto eyebrow = OnboardingBeats::eyebrow(beat); !eyebrow.empty()) {
        body->addWidget(makeLabel(bodyWidget, "eyebrow", ViewBuilding::text(eyebrow), Theme::sans(11), Theme::ink3()));
        body->addSpacing(12);
    }
    if (auto headline = OnboardingBeats::headline(beat); !headline.empty()) {
        body->addWidget(makeText(bodyWidget, "headline", ViewBuilding::text(headline), Theme::sans(27), Theme::ink(), 2));
    }
    if (auto lead = OnboardingBeats::lead(beat); !lead.empty()) {
        body->addSpacing(14);
        body->addWidget(makeText(bodyWidget, "lead", ViewBuilding::text(lead), Theme::sans(14.5), Theme::ink2(), 5));
    }
    fill(*body);
    if (!contentFillsHeight) body->addStretch(1);
    f.scroll->setWidget(bodyWidget);
    page->addWidget(f.scroll, 1);

    if (beat == OnboardingBeat::promise) {
        // A kept note that did not reach its file is not kept: say so beside the actions.
        auto* holder = new QWidget(f.page);
        holder->setObjectName(QStringLiteral("keepFailed"));
        auto* holderLayout = column(holder, QMargins(kSideMargin, 14, kSideMargin, 0));
        keepFailedNote_ = makeText(holder, "keepFailedNote",
                                   tr("Your note couldn\u2019t be saved on this computer. Try again, or choose Later."),
                                   Theme::sans(12), Theme::ember(), 3);
        holderLayout->addWidget(keepFailedNote_);
        holder->hide();
        page->addWidget(holder);
    }
    page->addSpacing(28);
    page->addWidget(buildActionRow(beat, f));
    pages_->addWidget(f.page);

    for (std::size_t i = 1; i < f.focusOrder.size(); ++i) QWidget::setTabOrder(f.focusOrder[i - 1], f.focusOrder[i]);
}

QWidget* OnboardingScreen::buildActionRow(OnboardingBeat beat, Frame& f) {
    using Beat = OnboardingBeat;
    auto* actions = new QWidget(f.page);
    actions->setObjectName(QStringLiteral("actionRow"));
    actions->setMinimumHeight(40);
    const int margin = kSideMargin - static_cast<int>(kFocusMargin);
    auto* line = row(actions, QMargins(margin, 0, margin, 0), 22 - 2 * static_cast<int>(kFocusMargin));

    f.primary = new TextButton(ViewBuilding::text(OnboardingBeats::primaryAction(beat)), actions);
    f.primary->setObjectName(QStringLiteral("primaryButton"));
    f.primary->setLook(primaryLook(true));
    connect(f.primary, &QAbstractButton::clicked, this, [this, beat] {
        switch (beat) {
        case Beat::oneMoment: model_->allowNotifications(); break;
        case Beat::promise: model_->keepPromise(); break;
        case Beat::settled: model_->onDone(); break;
        default: model_->advance(); break;
        }
    });
    line->addWidget(f.primary, 0, Qt::AlignVCenter);
    f.focusOrder.push_back(f.primary);

    if (auto secondary = OnboardingBeats::secondaryAction(beat)) {
        f.secondary = new TextButton(ViewBuilding::text(*secondary), actions);
        f.secondary->setObjectName(QStringLiteral("secondaryButton"));
        f.secondary->setLook(quietLook());
        connect(f.secondary, &QAbstractButton::clicked, this, [this, beat] {
            if (beat == Beat::promise) {
                model_->finishPromise();
            } else if (beat == Beat::oneMoment) {
                model_->keepNotificationsInside();
            } else {
                model_->advance();
            }
        });
        line->addWidget(f.secondary, 0, Qt::AlignVCenter);
        f.focusOrder.push_back(f.secondary);
    }

    if (model_->entry() == OnboardingModel::Entry::firstRun && OnboardingBeats::previous(beat)) {
        f.back = new TextButton(tr("Back"), actions);
        f.back->setObjectName(QStringLiteral("backButton"));
        f.back->setLook(quietLook());
        connect(f.back, &QAbstractButton::clicked, this, [this] { model_->back(); });
        line->addWidget(f.back, 0, Qt::AlignVCenter);
        f.focusOrder.push_back(f.back);
    }
    line->addStretch(1);
    return actions;
}

QWidget* OnboardingScreen::buildAssurance(QWidget* parent, const QString& note, const char* name) {
    auto* assurance = new QWidget(parent);
    assurance->setObjectName(QString::fromLatin1(name));
    auto* line = row(assurance, QMargins(0, 20, 0, 0), 10);
    line->addWidget(circleMark(assurance, "ring", QSize(14, 15), QRectF(0, 1, 14, 14),
                               [] { return CircleMarkState{Qt::transparent, Theme::moss(), 1}; }),
                    0, Qt::AlignTop);
    line->addWidget(makeText(assurance, "note", note, Theme::sans(12), Theme::ink2(), 3), 1);
    return assurance;
}

TextButton* OnboardingScreen::buildChip(QWidget* parent, const QString& title, const char* name) {
    auto* chip = new TextButton(title, parent);
    chip->setObjectName(QString::fromLatin1(name));
    chip->setCheckable(true);
    chip->setLook(chipLook(false));
    return chip;
}

OnboardingScreen::QuietField OnboardingScreen::buildQuietField(QWidget* parent, const QString& placeholder,
                                                               const char* name,
                                                               void (OnboardingModel::*write)(std::string)) {
    QuietField field;
    field.box = new QWidget(parent);
    field.box->setObjectName(QString::fromLatin1(name) + QStringLiteral("Box"));
    auto* layout = column(field.box, QMargins(0, 4, 0, 0));
    field.edit = new QLineEdit(field.box);
    field.edit->setObjectName(QString::fromLatin1(name));
    field.edit->setFrame(false);
    field.edit->setFont(Theme::sans(15));
    field.edit->setPlaceholderText(placeholder);
    field.edit->setTextMargins(0, 6, 0, 6);
    QPalette p = field.edit->palette();
    p.setColor(QPalette::Text, Theme::ink());
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::PlaceholderText, Theme::ink3());
    field.edit->setPalette(p);
    connect(field.edit, &QLineEdit::textEdited, this,
            [this, write](const QString& text) { (model_.get()->*write)(text.toStdString()); });
    layout->addWidget(field.edit);
    layout->addWidget(hairline(field.box));
    field.box->hide();
    return field;
}

StoneBeing* OnboardingScreen::buildStone(QWidget* parent, qreal width, bool fadesWhileBreathing, const char* name) {
    auto* stone = new StoneBeing(StoneFace::calm, model_->identity(), width, fadesWhileBreathing, parent, driver_,
                                 random_);
    stone->setObjectName(QString::fromLatin1(name));
    stone->setReduceMotion(reduceMotion_);
    stones_.push_back(stone);
    return stone;
}

void OnboardingScreen::buildRecognition(QVBoxLayout& body) {
    auto* content = new QWidget(body.parentWidget());
    content->setObjectName(QStringLiteral("recognitionContent"));
    auto* stack = column(content);
    // The stone and its line stand in the middle of whatever height the step leaves them.
    stack->addSpacerItem(new QSpacerItem(0, 24, QSizePolicy::Minimum, QSizePolicy::Expanding));
    stack->addWidget(buildStone(content, 150, true, "stone"), 0, Qt::AlignHCenter);
    stack->addSpacing(14);
    identityLine_ = makeLabel(content, "identityLine", {}, Theme::sans(11), Theme::ink3());
    stack->addWidget(identityLine_, 0, Qt::AlignHCenter);
    stack->addSpacerItem(new QSpacerItem(0, 24, QSizePolicy::Minimum, QSizePolicy::Expanding));
    body.addWidget(content, 1);
}

void OnboardingScreen::buildReading(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    body.addSpacing(30);
    auto proofRow = [&](const char* name, std::string_view label, QWidget* value) {
        auto* proof = new QWidget(parent);
        proof->setObjectName(QString::fromLatin1(name));
        auto* line = row(proof, QMargins(0, 15, 0, 15), 16);
        QLabel* labelText = makeLabel(proof, "proofLabel", ViewBuilding::text(label), Theme::sans(11), Theme::ink3());
        labelText->setFixedWidth(56);
        line->addWidget(labelText, 0, Qt::AlignTop);
        value->setParent(proof);
        line->addWidget(value, 1, Qt::AlignTop);
        body.addWidget(hairline(parent));
        body.addWidget(proof);
    };

    auto* sees = new QWidget(parent);
    auto* block = column(sees, {}, 3);
    auto* headline = new QHBoxLayout();
    headline->setSpacing(7);
    readingDot_ = circleMark(sees, "readingDot", QSize(6, 6), QRectF(0, 0, 6, 6),
                             [] { return CircleMarkState{Theme::moss(), Qt::transparent, 0}; });
    headline->addWidget(readingDot_, 0, Qt::AlignVCenter);
    readingHeadline_ = makeLabel(sees, "readingHeadline", {}, Theme::sans(14.5, QFont::Medium), Theme::ink());
    headline->addWidget(readingHeadline_, 0, Qt::AlignVCenter);
    headline->addStretch(1);
    block->addLayout(headline);
    readingDetail_ = makeText(sees, "readingDetail", {}, Theme::sans(14), Theme::ink2(), 0);
    block->addWidget(readingDetail_);

    proofRow("seesRow", OnboardingCopy::seesLabel, sees);
    proofRow("neverRow", OnboardingCopy::neverLabel,
             makeText(parent, "neverValue", ViewBuilding::text(OnboardingCopy::neverValue), Theme::sans(14), Theme::ink2(), 0));
    proofRow("leavesRow", OnboardingCopy::leavesLabel,
             makeText(parent, "leavesValue", ViewBuilding::text(OnboardingCopy::leavesValue), Theme::sans(14), Theme::ink2(), 0));
    body.addWidget(hairline(parent));
}

void OnboardingScreen::buildWorkSources(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    body.addSpacing(26);
    body.addWidget(hairline(parent));
    sourceRows_ = new QVBoxLayout();
    sourceRows_->setSpacing(0);
    body.addLayout(sourceRows_);
    body.addWidget(buildAssurance(parent, ViewBuilding::text(OnboardingCopy::sourcesNote), "sourcesNote"), 0, Qt::AlignHCenter);
}

OnboardingScreen::GrantRow OnboardingScreen::buildGrantRow(QVBoxLayout& body, const ContextGrant& grant,
                                                           void (OnboardingModel::*allow)(), Frame& f) {
    QWidget* parent = body.parentWidget();
    auto* grantRow = new QWidget(parent);
    grantRow->setObjectName(ViewBuilding::text(grant.id) + QStringLiteral("Row"));
    auto* line = row(grantRow, QMargins(0, 16, 0, 16));
    auto* texts = new QVBoxLayout();
    texts->setSpacing(5);
    texts->addWidget(makeLabel(grantRow, "grantName", ViewBuilding::text(grant.name), Theme::sans(15.5), Theme::ink()));
    texts->addWidget(makeText(grantRow, "grantReads", ViewBuilding::text(grant.reads), Theme::sans(12), Theme::ink3(), 2));
    line->addLayout(texts, 1);
    line->addSpacing(20 + 12 + 20);

    GrantRow widgets;
    widgets.allow = new TextButton(ViewBuilding::text(word(ContextGrantState::notAsked)), grantRow);
    widgets.allow->setObjectName(QStringLiteral("allowButton"));
    widgets.allow->setAccessibleDescription(ViewBuilding::text(grant.name));
    widgets.allow->setLook(allowLook());
    connect(widgets.allow, &QAbstractButton::clicked, this, [this, allow] { (model_.get()->*allow)(); });
    line->addWidget(widgets.allow, 0, Qt::AlignVCenter);
    f.focusOrder.push_back(widgets.allow);
    widgets.word = makeLabel(grantRow, "grantWord", {}, Theme::sans(12), Theme::ink3());
    line->addWidget(widgets.word, 0, Qt::AlignVCenter);
    body.addWidget(grantRow);
    return widgets;
}

void OnboardingScreen::buildOptionalContext(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    Frame& f = frame(OnboardingBeat::optionalContext);
    body.addSpacing(26);
    body.addWidget(hairline(parent));
    calendarRow_ = buildGrantRow(body, ContextGrant::calendar, &OnboardingModel::allowCalendar, f);
    body.addWidget(hairline(parent));
    weatherRow_ = buildGrantRow(body, ContextGrant::weather, &OnboardingModel::allowWeather, f);
    body.addWidget(hairline(parent));
    body.addWidget(buildAssurance(parent, ViewBuilding::text(OnboardingCopy::contextNote), "contextNote"), 0, Qt::AlignHCenter);
}

void OnboardingScreen::buildBoundary(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    Frame& f = frame(OnboardingBeat::boundary);
    body.addSpacing(24);
    body.addWidget(hairline(parent));
    for (std::size_t i = 0; i < std::size(kAllInterruptBoundaries); ++i) {
        const InterruptBoundary boundary = kAllInterruptBoundaries[i];
        auto* choice = new RowButton(parent);
        choice->setObjectName(QStringLiteral("boundaryRow"));
        choice->setProperty("boundary", ViewBuilding::text(toString(boundary)));
        choice->setCheckable(true);
        choice->setAccessibleName(ViewBuilding::text(InterruptBoundaries::title(boundary)));
        choice->setAccessibleDescription(ViewBuilding::text(InterruptBoundaries::note(boundary)));
        auto* line = row(choice, QMargins(0, 15, 0, 15));
        line->addWidget(circleMark(choice, "selectionMark", QSize(13, 17), QRectF(0, 4, 13, 13),
                                   [this, i] { return boundaryMarks_[i]; }),
                        0, Qt::AlignTop);
        line->addSpacing(12);
        auto* label = new QWidget(choice);
        label->setObjectName(QStringLiteral("rowLabel"));
        auto* texts = column(label, {}, 5);
        texts->addWidget(makeLabel(label, "rowTitle", ViewBuilding::text(InterruptBoundaries::title(boundary)), Theme::sans(15.5),
                                   Theme::ink()));
        texts->addWidget(
            makeLabel(label, "rowNote", ViewBuilding::text(InterruptBoundaries::note(boundary)), Theme::sans(12), Theme::ink3()));
        line->addWidget(label);
        line->addStretch(1);
        choice->setFocusFrame(label);
        connect(choice, &QAbstractButton::clicked, this, [this, boundary] {
            model_->setBoundary(boundary);
            model_->applyBoundary(boundary);
        });
        boundaryRows_[i] = choice;
        f.focusOrder.push_back(choice);
        body.addWidget(choice);
        body.addWidget(hairline(parent));
    }
    body.addSpacing(18);
    body.addWidget(makeText(parent, "boundaryNote", ViewBuilding::text(OnboardingCopy::boundaryNote), Theme::sans(12), Theme::ink3(), 0),
                   0, Qt::AlignHCenter);
}

void OnboardingScreen::buildOneMoment(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    body.addSpacing(20);
    body.addWidget(buildStone(parent, 110, true, "stone"), 0, Qt::AlignHCenter);
    body.addSpacing(22);
    exampleLine_ = makeText(parent, "exampleLine", {}, Theme::sans(20), Theme::ink(), 6, Qt::AlignHCenter);
    body.addWidget(exampleLine_);
    body.addSpacing(14);
    becauseLine_ = makeText(parent, "becauseLine", {}, Theme::sans(12), Theme::ink3(), 0, Qt::AlignHCenter);
    body.addWidget(becauseLine_);
    body.addSpacing(30);
    body.addWidget(hairline(parent));

    auto* preview = new QWidget(parent);
    preview->setObjectName(QStringLiteral("notificationPreview"));
    auto* line = row(preview, QMargins(0, 16, 0, 0), 12);
    line->addWidget(circleMark(preview, "previewDot", QSize(7, 13), QRectF(0, 6, 7, 7),
                               [] { return CircleMarkState{Theme::ember(), Qt::transparent, 0}; }),
                    0, Qt::AlignTop);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(4);
    texts->addWidget(makeLabel(preview, "notificationTitle", ViewBuilding::text(OnboardingCopy::notificationTitle),
                               Theme::sans(13.5, QFont::Medium), Theme::ink()));
    texts->addWidget(
        makeText(preview, "notificationBody", ViewBuilding::text(OnboardingCopy::notificationBody), Theme::sans(13), Theme::ink2(), 3));
    line->addLayout(texts, 1);
    body.addWidget(preview, 0, Qt::AlignHCenter);
}

void OnboardingScreen::buildPromise(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    Frame& f = frame(OnboardingBeat::promise);
    if (model_->entry() == OnboardingModel::Entry::changeNote) {
        body.addWidget(buildStone(parent, 58, true, "stone"), 0, Qt::AlignHCenter);
        body.addSpacing(34);
    }
    body.addSpacing(18);
    sentence_ = makeText(parent, "sentence", {}, Theme::sans(22), Theme::ink(), 8);
    body.addWidget(sentence_);
    body.addSpacing(34);

    auto group = [&](const char* header, const QString& headerText, const char* chipsName) {
        auto* stack = new QVBoxLayout();
        stack->setSpacing(12);
        stack->addWidget(makeLabel(parent, header, headerText, Theme::sans(12), Theme::ink3()));
        auto* chips = new QWidget(parent);
        chips->setObjectName(QString::fromLatin1(chipsName));
        new FlowChips(8, chips);
        stack->addWidget(chips);
        body.addLayout(stack);
        return std::pair{stack, chips};
    };

    auto [dayStack, dayChips] = group("dayHeader", tr("the day"), "dayChips");
    for (std::size_t i = 0; i < std::size(PromiseCatalog::dayPresets); ++i) {
        TextButton* chip = buildChip(dayChips, ViewBuilding::text(PromiseCatalog::dayPresets[i]), "dayChip");
        connect(chip, &QAbstractButton::clicked, this, [this, i] {
            model_->setDayChoiceIndex(static_cast<int>(i));
            model_->setDayIsCustom(false);
        });
        dayChips->layout()->addWidget(chip);
        dayChips_.push_back(chip);
        f.focusOrder.push_back(chip);
    }
    dayOwnChip_ = buildChip(dayChips, tr("write your own"), "dayOwnChip");
    dayChips->layout()->addWidget(dayOwnChip_);
    f.focusOrder.push_back(dayOwnChip_);
    dayField_ = buildQuietField(parent, tr("a mild morning, a hard week\u2026"), "dayCustom",
                                &OnboardingModel::setDayCustom);
    dayStack->addWidget(dayField_.box);
    f.focusOrder.push_back(dayField_.edit);
    connect(dayOwnChip_, &QAbstractButton::clicked, this, [this] {
        model_->setDayIsCustom(true);
        model_->setDayChoiceIndex(std::nullopt);
        dayField_.edit->setFocus(Qt::OtherFocusReason);
    });
    body.addSpacing(26);

    auto [moveStack, moveChips] = group("moveHeader", tr("what I\u2019ll do \u2014 pick a few"), "moveChips");
    for (const auto& preset : PromiseCatalog::movePresets) {
        TextButton* chip = buildChip(moveChips, ViewBuilding::text(preset.phrase), "moveChip");
        connect(chip, &QAbstractButton::clicked, this, [this, id = std::string(preset.id)] {
            auto picked = model_->pickedMoveIds();
            if (picked.erase(id) == 0) picked.insert(id);
            model_->setPickedMoveIds(std::move(picked));
        });
        moveChips->layout()->addWidget(chip);
        moveChips_.push_back(chip);
        f.focusOrder.push_back(chip);
    }
    moveOwnChip_ = buildChip(moveChips, tr("write your own"), "moveOwnChip");
    moveChips->layout()->addWidget(moveOwnChip_);
    f.focusOrder.push_back(moveOwnChip_);
    moveField_ = buildQuietField(parent, tr("something you can picture doing\u2026"), "moveCustom",
                                 &OnboardingModel::setMoveCustom);
    moveStack->addWidget(moveField_.box);
    f.focusOrder.push_back(moveField_.edit);
    connect(moveOwnChip_, &QAbstractButton::clicked, this, [this] {
        model_->setMoveCustomOn(!model_->moveCustomOn());
        if (model_->moveCustomOn()) moveField_.edit->setFocus(Qt::OtherFocusReason);
    });

    body.addSpacing(28);
    body.addWidget(makeText(parent, "trustLine", ViewBuilding::text(PromiseCatalog::trustLine), Theme::sans(12.5), Theme::ink3(), 3));
}

void OnboardingScreen::buildSettled(QVBoxLayout& body) {
    QWidget* parent = body.parentWidget();
    settledLead_ = parent->findChild<TextBlock*>(QStringLiteral("lead"), Qt::FindDirectChildrenOnly);
    body.addSpacing(26);
    auto* picture = new DrawingWidget(
        [](QPainter& p, const QRectF& box) { paintDesktopPicture(p, box, DesktopPictureState{}); }, parent);
    picture->setObjectName(QStringLiteral("desktopPicture"));
    picture->setFixedHeight(160);
    auto* layers = column(picture);
    auto* bar = new QWidget(picture);
    bar->setObjectName(QStringLiteral("trayBar"));
    bar->setFixedHeight(static_cast<int>(DesktopPictureState{}.barHeight));
    auto* barLine = row(bar, QMargins(0, 0, 12, 0));
    barLine->addStretch(1);
    trayStone_ = buildStone(bar, 13, false, "trayStone");
    barLine->addWidget(trayStone_, 0, Qt::AlignVCenter);
    layers->addWidget(bar);
    layers->addStretch(1);
    auto* corner = new QHBoxLayout();
    corner->setContentsMargins(18, 18, 18, 18);
    corner->addStretch(1);
    corner->addWidget(buildStone(picture, 58, true, "desktopStone"), 0, Qt::AlignBottom);
    layers->addLayout(corner);
    body.addWidget(picture);
    body.addSpacing(18);
    body.addWidget(makeText(parent, "settledNote", ViewBuilding::text(OnboardingCopy::settledNote), Theme::sans(11.5), Theme::ink3(), 0));
}

void OnboardingScreen::refresh() {
    const OnboardingModel& m = *model_;
    const bool stepChanged = m.beat() != shownBeat_;
    QWidget* focus = window()->focusWidget();
    // Focus on one of the step's controls, not on the screen itself, which holds it only so
    // that Escape arrives.
    const bool focusInside = focus != nullptr && focus != this && isAncestorOf(focus);
    // The picture of the step before is taken before anything on screen changes.
    if (stepChanged) startFade();

    refreshTopLine();
    identityLine_->setText(ViewBuilding::text(toString(m.identity().material())) + tr(" \u00B7 seed ") + ViewBuilding::text(m.identity().seed()));
    for (StoneBeing* stone : stones_) stone->setIdentity(m.identity());
    refreshReading();
    refreshSources();
    refreshGrant(calendarRow_, m.calendarGrant());
    refreshGrant(weatherRow_, m.weatherGrant());
    for (std::size_t i = 0; i < boundaryRows_.size(); ++i) {
        const bool selected = kAllInterruptBoundaries[i] == m.boundary();
        boundaryRows_[i]->setChecked(selected);
        boundaryMarks_[i] = selected ? CircleMarkState{Qt::transparent, Theme::moss(), 4}
                                     : CircleMarkState{Qt::transparent, Theme::ink3(), 1};
        boundaryRows_[i]->update();
    }
    exampleLine_->setText(QStringLiteral("\u201C") + ViewBuilding::text(InterruptBoundaries::exampleLine(m.boundary())) +
                          QStringLiteral("\u201D"));
    becauseLine_->setText(QString::fromStdString(OnboardingCopy::because(m.boundary())));
    refreshPromise();
    settledLead_->setText(ViewBuilding::text(m.inTray() ? OnboardingBeats::lead(OnboardingBeat::settled)
                                                        : OnboardingCopy::settledLeadWithoutTray));
    trayStone_->setVisible(m.inTray());

    if (stepChanged) {
        shownBeat_ = m.beat();
        pages_->setCurrentIndex(OnboardingBeats::rawValue(shownBeat_));
        // Someone on the keyboard lands on the step's way on, not on whatever came first.
        Frame& f = frame(shownBeat_);
        if (focusInside && f.primary->isEnabled()) f.primary->setFocus(Qt::TabFocusReason);
    }
}

void OnboardingScreen::refreshTopLine() {
    marksState_.current = OnboardingBeats::markIndex(model_->beat());
    marks_->setAccessibleName(tr("step %1 of %2").arg(marksState_.current + 1).arg(marksState_.count));
    marks_->update();
}

void OnboardingScreen::refreshReading() {
    const auto& reading = model_->reading();
    readingDot_->setVisible(reading && reading->isActive);
    readingHeadline_->setText(reading ? ViewBuilding::text(reading->headline) : tr("Reading this computer\u2019s local traces"));
    const bool detail = reading && reading->detail;
    if (detail) readingDetail_->setText(ViewBuilding::text(*reading->detail));
    readingDetail_->setVisible(detail);
}

void OnboardingScreen::refreshSources() {
    if (model_->sources() == shownSources_) return;
    shownSources_ = model_->sources();
    while (QLayoutItem* item = sourceRows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    QWidget* parent = sourceRows_->parentWidget();
    for (const WorkSource& source : shownSources_) {
        auto* sourceRow = new QWidget(parent);
        sourceRow->setObjectName(QStringLiteral("sourceRow"));
        auto* line = row(sourceRow, QMargins(0, 14, 0, 14));
        auto* texts = new QVBoxLayout();
        texts->setSpacing(5);
        texts->addWidget(makeLabel(sourceRow, "sourceName", ViewBuilding::text(source.name), Theme::sans(15.5), Theme::ink()));
        texts->addWidget(makeText(sourceRow, "sourceReads", ViewBuilding::text(source.reads), Theme::sans(12), Theme::ink3(), 0));
        line->addLayout(texts, 1);
        line->addSpacing(18 + 12 + 18);
        const bool found = source.presence.kind() == WorkSource::Presence::Kind::found;
        line->addWidget(makeLabel(sourceRow, "presenceWord", ViewBuilding::text(source.presence.word()), Theme::sans(11),
                                  found ? Theme::moss() : Theme::ink3()),
                        0, Qt::AlignTop);
        sourceRows_->addWidget(sourceRow);
        sourceRows_->addWidget(hairline(parent));
    }
}

void OnboardingScreen::refreshGrant(const GrantRow& grant, ContextGrantState state) {
    const bool asking = state == ContextGrantState::notAsked;
    grant.allow->setVisible(asking);
    grant.word->setVisible(!asking);
    grant.word->setText(ViewBuilding::text(word(state)));
    setTextColour(grant.word, state == ContextGrantState::allowed ? Theme::moss() : Theme::ink3());
}

void OnboardingScreen::refreshPromise() {
    const OnboardingModel& m = *model_;
    using Run = TextBlockState::Run;
    const std::string day = m.dayPhrase();
    const std::string move = m.previewMove();
    sentence_->setRuns({
        Run{tr("When I\u2019ve had "), Theme::ink(), false},
        day.empty() ? Run{tr("the day"), Theme::ink3(), true} : Run{QString::fromStdString(day), Theme::ink(), true},
        Run{tr(", I\u2019ll "), Theme::ink(), false},
        move.empty() ? Run{QStringLiteral("\u2026"), Theme::ink3(), true}
                     : Run{QString::fromStdString(move), Theme::ink(), true},
        Run{QStringLiteral("."), Theme::ink(), false},
    });

    auto show = [](TextButton* chip, bool on) {
        chip->setChecked(on);
        chip->setLook(chipLook(on));
    };
    for (std::size_t i = 0; i < dayChips_.size(); ++i) {
        show(dayChips_[i], !m.dayIsCustom() && m.dayChoiceIndex() == static_cast<int>(i));
    }
    show(dayOwnChip_, m.dayIsCustom());
    for (std::size_t i = 0; i < moveChips_.size(); ++i) {
        show(moveChips_[i], m.pickedMoveIds().count(std::string(PromiseCatalog::movePresets[i].id)) != 0);
    }
    show(moveOwnChip_, m.moveCustomOn());

    for (auto [field, shown, text] : {std::tuple{&dayField_, m.dayIsCustom(), &m.dayCustom()},
                                      std::tuple{&moveField_, m.moveCustomOn(), &m.moveCustom()}}) {
        field->box->setVisible(shown);
        // Only text set from elsewhere is written back, so the caret stays where the user left it.
        if (const QString value = QString::fromStdString(*text); field->edit->text() != value) {
            field->edit->setText(value);
        }
    }

    Frame& f = frame(OnboardingBeat::promise);
    const bool canKeep = m.canKeepPromise();
    f.primary->setEnabled(canKeep);
    f.primary->setLook(primaryLook(canKeep));
    keepFailedNote_->parentWidget()->setVisible(m.keepFailed());
    keepFocusedFieldInView();
}

// A sentence grown by the user's typing pushes the field down; the field stays in view.
void OnboardingScreen::keepFocusedFieldInView() {
    for (const QuietField* field : {&dayField_, &moveField_}) {
        if (!field->edit->hasFocus()) continue;
        // Once the layout has taken in the new text.
        QMetaObject::invokeMethod(
            this,
            [this, box = field->box] { frame(OnboardingBeat::promise).scroll->ensureWidgetVisible(box, 0, 12); },
            Qt::QueuedConnection);
    }
}

void OnboardingScreen::startFade() {
    const double seconds = std::chrono::duration<double>(model_->beatTransition()).count();
    if (!(seconds > 0) || reduceMotion_ || !isVisible()) {
        endFade();
        return;
    }
    // A fade under way is part of the picture, so a quick second step carries on from it.
    fadeState_.from = grab();
    fadeState_.opacity = 1;
    fade_->setGeometry(rect());
    fade_->raise();
    fade_->show();
    fade_->update();
    fadeMotion_ = driver_.animate(
        0, 1, Animation::easeInOut(seconds),
        [this](double progress) {
            fadeState_.opacity = 1 - progress;
            fade_->update();
        },
        [this] { endFade(); });
}

void OnboardingScreen::endFade() {
    fadeMotion_.reset();
    fadeState_ = {};
    if (fade_ != nullptr) fade_->hide();
}

std::optional<double> OnboardingScreen::fadingStepOpacity() const {
    if (!fade_->isVisible()) return std::nullopt;
    return fadeState_.opacity;
}

void OnboardingScreen::setReduceMotion(bool reduce) {
    reduceMotion_ = reduce;
    model_->setReduceMotion(reduce);
    for (StoneBeing* stone : stones_) stone->setReduceMotion(reduce);
    if (reduce) endFade();
}

void OnboardingScreen::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        window()->close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OnboardingScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // With nothing focused, keys go to the window: Escape must still reach the screen.
    if (window()->focusWidget() == nullptr) setFocus(Qt::OtherFocusReason);
}

void OnboardingScreen::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fade_->setGeometry(rect());
}

}  // namespace quillfen
