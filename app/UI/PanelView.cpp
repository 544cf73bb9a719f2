#include "UI/PanelView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include "Strings.h"
#include "UI/AskExpand.h"
#include "UI/GroundingView.h"
#include "UI/ParagraphLabel.h"
#include "UI/PlainTextButton.h"
#include "UI/Render.h"
#include "UI/StoneBeing.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

namespace {

QString panelText(const char* english) {
    return QCoreApplication::translate("PanelView", english);
}

// A widget with space around it, so a hidden element takes its padding with it.
QWidget* padded(QWidget* content, const QMargins& margins, QWidget* parent) {
    auto* frame = new QWidget(parent);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(margins);
    layout->setSpacing(0);
    layout->addWidget(content);
    return frame;
}

constexpr qreal kStoneWidth = 64;

// The stone over either body, 24 points above what follows it.
StoneBeing* addStone(QVBoxLayout* column, QWidget* parent, StoneFace face, const StoneIdentity& identity,
                     AnimationDriver& driver, bool reduceMotion) {
    auto* stone = new StoneBeing(face, identity, kStoneWidth, true, parent, driver);
    stone->setObjectName("stone");
    stone->setReduceMotion(reduceMotion);
    column->addWidget(stone, 0, Qt::AlignLeft);
    column->addSpacing(24);
    return stone;
}

QWidget* filled(const QColor& colour, QWidget* parent) {
    auto* w = new QWidget(parent);
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
    return w;
}

}  // namespace

void paintEmberRule(QPainter& painter, const QRectF& box) {
    QLinearGradient gradient(box.topLeft(), box.topRight());
    gradient.setColorAt(0, Theme::faded(Theme::ember(), 0.5));
    gradient.setColorAt(1, Theme::faded(Theme::ember(), 0));
    painter.fillRect(box, gradient);
}

PanelView::PanelView(PanelModel& model, std::optional<PanelMirror> mirror, WindowPresence presence,
                     QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), model_(model), mirror_(std::move(mirror)), presence_(presence), driver_(driver) {
    setFixedWidth(static_cast<int>(presence_.width));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::paper());
    setPalette(palette);
    setAutoFillBackground(true);
    if (presence_.opacity < 1) {
        auto* fade = new QGraphicsOpacityEffect(this);
        fade->setOpacity(presence_.opacity);
        setGraphicsEffect(fade);
    }

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    body_ = new QWidget(this);
    body_->setObjectName("body");
    body_->setMinimumHeight(static_cast<int>(presence_.minBodyHeight));
    bodyLayout_ = new QVBoxLayout(body_);
    bodyLayout_->setContentsMargins(26, 30, 26, 22);
    bodyLayout_->setSpacing(0);
    outer->addWidget(body_);

    QWidget* divider = filled(Theme::line(), this);
    divider->setObjectName("divider");
    divider->setFixedHeight(1);
    outer->addWidget(divider);

    buildFooter(outer);
    buildCalmBody();

    QObject::connect(&model_, &ObservableModel::changed, this, [this] { refresh(); });
    if (mirror_ && mirror_->model) {
        QObject::connect(mirror_->model.data(), &ObservableModel::changed, this, [this] { refresh(); });
    }
    refresh();
}

PanelView::~PanelView() {
    // Released while an ask sinks away (the popover closed and was let go), its settle step
    // goes with this view; the ask settles on the next turn instead of never.
    if (askExpand_ && askExpand_->settling()) {
        QMetaObject::invokeMethod(
            &model_,
            [model = &model_] {
                if (model->askPhase() == AskPhase::dismissing) callIfSet(model->onAskSettled);
            },
            Qt::QueuedConnection);
    }
    retireNudgeBody();
}

QSize PanelView::sizeHint() const {
    return {width(), heightForWidth(width())};
}

bool PanelView::event(QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) holdWrappedHeight(*this);
    return QWidget::event(event);
}

void PanelView::setReduceMotion(bool reduce) {
    if (reduce == reduceMotion_) return;
    reduceMotion_ = reduce;
    calmStone_->setReduceMotion(reduce);
    if (nudgeStone_) nudgeStone_->setReduceMotion(reduce);
    if (askExpand_) askExpand_->setReduceMotion(reduce);
    if (grounding_) grounding_->setReduceMotion(reduce);
}

void PanelView::refresh() {
    // Settling at once (under reduce motion) calls the shell from inside a refresh, and the
    // shell writes the model again: that change is applied after this one, never inside it.
    if (refreshing_) {
        again_ = true;
        return;
    }
    refreshing_ = true;
    do {
        again_ = false;
        apply();
    } while (again_);
    refreshing_ = false;
}

void PanelView::apply() {
    if (const auto& nudge = model_.nudge()) {
        if (nudgeBody_ && nudgeBodyStatic_ != model_.staticRender()) retireNudgeBody();
        if (!nudgeBody_) buildNudgeBody();
        calmBody_->hide();
        applyNudgeBody(*nudge);
        nudgeBody_->show();
    } else {
        retireNudgeBody();
        applyCalmBody();
        calmBody_->show();
    }
    applyFooter();
}

StoneFace PanelView::calmFace() const {
    if (mirror_ && mirror_->face) return mirror_->face();
    return StoneFace::calm;
}

void PanelView::buildCalmBody() {
    calmBody_ = new QWidget(body_);
    calmBody_->setObjectName("calmBody");
    auto* column = new QVBoxLayout(calmBody_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    calmStone_ = addStone(column, calmBody_, calmFace(), model_.identity(), driver_, reduceMotion_);
    headline_ = new ParagraphLabel({}, Theme::sans(19), Theme::ink(), 4, calmBody_);
    headline_->setObjectName("headline");
    column->addWidget(headline_);
    subline_ = new ParagraphLabel({}, Theme::sans(13), Theme::ink3(), 3);
    subline_->setObjectName("subline");
    column->addWidget(padded(subline_, {0, 12, 0, 0}, calmBody_));

    if (mirror_ && mirror_->makeStrip) {
        strip_ = mirror_->makeStrip(nullptr);
        if (strip_) {
            // The strip keeps the height it asks for: its hours stand under its bars.
            strip_->setObjectName("mirrorStrip");
            column->addWidget(padded(strip_, {0, 20, 0, 0}, calmBody_));
        }
    }
    column->addSpacerItem(new QSpacerItem(0, 30, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* links = new QVBoxLayout;
    links->setSpacing(14);
    auto* inspect = new PlainTextButton(panelText("What I’m seeing"), Theme::sans(14, QFont::Medium),
                                        Theme::ink(), calmBody_);
    inspect->setObjectName("inspectButton");
    preview_ = new PlainTextButton(panelText("Show me a nudge"), Theme::sans(14), Theme::ink3(), calmBody_);
    preview_->setObjectName("previewButton");
    changeNote_ = new PlainTextButton(panelText("Change my note"), Theme::sans(14), Theme::ink3(), calmBody_);
    changeNote_->setObjectName("changeNoteButton");
    for (PlainTextButton* b : {inspect, preview_, changeNote_}) links->addWidget(b, 0, Qt::AlignLeft);
    column->addLayout(links);

    QObject::connect(inspect, &QAbstractButton::clicked, this, [this] { callIfSet(model_.onInspect); });
    QObject::connect(preview_, &QAbstractButton::clicked, this, [this] { callIfSet(model_.onPreview); });
    QObject::connect(changeNote_, &QAbstractButton::clicked, this, [this] { callIfSet(model_.onChangeNote); });

    bodyLayout_->addWidget(calmBody_);
}

void PanelView::applyCalmBody() {
    calmStone_->setFace(calmFace());
    calmStone_->setIdentity(model_.identity());
    const bool observing = model_.observeOnly();
    headline_->setText(observing ? QString::fromStdString(model_.observeHeadline()) : ViewBuilding::text(Strings::calmLine));
    subline_->setText(observing ? QString::fromStdString(model_.observeStatusLine()) : ViewBuilding::text(Strings::calmSub));
    preview_->setVisible(!observing);
    changeNote_->setVisible(!observing);
}

void PanelView::buildNudgeBody() {
    nudgeBodyStatic_ = model_.staticRender();
    nudgeBody_ = new QWidget(body_);
    nudgeBody_->setObjectName("nudgeBody");
    auto* column = new QVBoxLayout(nudgeBody_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Outside the reveal: the stone looks up as the ask comes and does not fade with it.
    nudgeStone_ = addStone(column, nudgeBody_, StoneFace::calm, model_.identity(), driver_, reduceMotion_);
    if (nudgeBodyStatic_) {
        staticHost_ = new QWidget(nudgeBody_);
        staticHost_->setObjectName("askStatic");
        auto* host = new QVBoxLayout(staticHost_);
        host->setContentsMargins(0, 0, 0, 0);
        host->setSpacing(0);
        column->addWidget(staticHost_);
    } else {
        askExpand_ = new AskExpand(model_.askPhase(), model_.askVariant(),
                                   [this] { callIfSet(model_.onAskSettled); }, nudgeBody_, driver_);
        askExpand_->setObjectName("askExpand");
        askExpand_->setReduceMotion(reduceMotion_);
        column->addWidget(askExpand_);
    }
    column->addStretch(1);
    bodyLayout_->addWidget(nudgeBody_);
}

void PanelView::retireNudgeBody() {
    if (!nudgeBody_) return;
    if (askExpand_) {
        // Its steps go with it: a settle still due must not reach the shell for an ask that
        // is already cleared.
        askExpand_->setPhase(AskPhase::hidden);
    }
    nudgeBody_->hide();
    // Later: the press that closed the ask may still be on the stack inside this body.
    nudgeBody_->deleteLater();
    nudgeBody_ = nullptr;
    askExpand_ = nullptr;
    staticHost_ = nullptr;
    askContent_ = nullptr;
    grounding_ = nullptr;
    nudgeStone_ = nullptr;
}

void PanelView::applyNudgeBody(const NudgeCopy& nudge) {
    nudgeStone_->setFace(model_.askPhase() == AskPhase::hidden ? StoneFace::calm : StoneFace::open);
    nudgeStone_->setIdentity(model_.identity());
    QWidget* wanted = nullptr;
    if (model_.activeIntervention()) {
        if (!grounding_) {
            grounding_ = new GroundingView([this] { callIfSet(model_.onInterventionDone); }, nullptr, driver_);
            grounding_->setObjectName("grounding");
            grounding_->setReduceMotion(reduceMotion_);
            askContent_ = nullptr;
            wanted = grounding_;
        }
    } else if (!askContent_) {
        askContent_ = buildAskContent();
        grounding_ = nullptr;
        wanted = askContent_;
    }
    if (wanted) {
        if (askExpand_) {
            askExpand_->setContent(wanted);
        } else if (staticHost_) {
            for (QWidget* old : staticHost_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                old->hide();
                old->deleteLater();
            }
            staticHost_->layout()->addWidget(wanted);
            wanted->show();
        }
    }
    if (askContent_) applyAskContent(nudge);
    if (askExpand_) {
        askExpand_->setVariant(model_.askVariant());
        askExpand_->setPhase(model_.askPhase());
    }
}

QWidget* PanelView::buildAskContent() {
    auto* content = new QWidget;
    content->setObjectName("askContent");
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    lineOne_ = new ParagraphLabel({}, Theme::sans(20), Theme::ink(), 4, content);
    lineOne_->setObjectName("panelLineOne");
    column->addWidget(lineOne_);
    lineTwo_ = new ParagraphLabel({}, Theme::sans(17), Theme::ink(), 4);
    lineTwo_->setObjectName("panelLineTwo");
    QWidget* lineTwoFrame = padded(lineTwo_, {0, 10, 0, 0}, content);
    lineTwoFrame->setObjectName("panelLineTwoFrame");
    column->addWidget(lineTwoFrame);

    auto* rule = new DrawingWidget([](QPainter& p, const QRectF& box) { paintEmberRule(p, box); });
    rule->setObjectName("emberRule");
    rule->setFixedSize(88, 1);
    auto* ruleFrame = padded(rule, {0, 20, 0, 0}, content);
    ruleFrame->layout()->setAlignment(rule, Qt::AlignLeft);
    column->addWidget(ruleFrame);

    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(0, 22, 0, 0);
    actions->setSpacing(20);
    primary_ = new PlainTextButton({}, Theme::sans(15, QFont::Medium), Theme::ink(), content);
    primary_->setObjectName("primaryButton");
    primary_->setUnderlined(true);
    dismiss_ = new PlainTextButton({}, Theme::sans(13), Theme::ink3(), content);
    dismiss_->setObjectName("dismissButton");
    actions->addWidget(primary_, 0, Qt::AlignVCenter);
    actions->addWidget(dismiss_, 0, Qt::AlignVCenter);
    actions->addStretch(1);
    column->addLayout(actions);

    // A press on an ask already answered (its buttons linger while it sinks away) must not
    // change the answer.
    QObject::connect(primary_, &QAbstractButton::clicked, this, [this] {
        if (model_.askOpen()) callIfSet(model_.onPrimary);
    });
    QObject::connect(dismiss_, &QAbstractButton::clicked, this, [this] {
        if (model_.askOpen()) callIfSet(model_.onDismiss);
    });
    return content;
}

void PanelView::applyAskContent(const NudgeCopy& nudge) {
    lineOne_->setText(QString::fromStdString(nudge.panelLineOne));
    lineTwo_->setText(QString::fromStdString(nudge.panelLineTwo));
    lineTwo_->parentWidget()->setVisible(!nudge.panelLineTwo.empty());
    primary_->setText(QString::fromStdString(nudge.primaryButton));
    primary_->updateGeometry();
    dismiss_->setText(QString::fromStdString(nudge.dismissButton));
    dismiss_->updateGeometry();
}

void PanelView::buildFooter(QVBoxLayout* outer) {
    auto* footer = new QWidget(this);
    footer->setObjectName("footer");
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(22, 14, 22, 14);
    // The flexible space between the two groups gives way first: at whole pixels the
    // footer's words only just fit the panel's width.
    row->setSpacing(0);
    auto* choices = new QHBoxLayout;
    choices->setSpacing(16);
    for (NudgeFrequency f : kAllNudgeFrequencies) {
        auto* button = new PlainTextButton(ViewBuilding::text(label(f)), Theme::sans(12.5), Theme::ink3(), footer);
        button->setObjectName(ViewBuilding::text(toString(f)) + QStringLiteral("Button"));
        choices->addWidget(button, 0, Qt::AlignVCenter);
        frequencyButtons_.emplace_back(f, button);
        QObject::connect(button, &QAbstractButton::clicked, this, [this, f] {
            model_.setFrequency(f);
            callIfSet(model_.onFrequencyChange, f);
        });
    }
    row->addLayout(choices);
    row->addStretch(1);
    auto* exits = new QHBoxLayout;
    exits->setSpacing(16);
    auto* settings = new PlainTextButton(panelText("Settings"), Theme::sans(12.5), Theme::ink3(), footer);
    settings->setObjectName("settingsButton");
    auto* quit = new PlainTextButton(panelText("Quit"), Theme::sans(12.5), Theme::ink3(), footer);
    quit->setObjectName("quitButton");
    exits->addWidget(settings, 0, Qt::AlignVCenter);
    exits->addWidget(quit, 0, Qt::AlignVCenter);
    row->addLayout(exits);
    QObject::connect(settings, &QAbstractButton::clicked, this, [this] { callIfSet(model_.onSettings); });
    QObject::connect(quit, &QAbstractButton::clicked, this, [this] { callIfSet(model_.onQuit); });
    outer->addWidget(footer);
}

void PanelView::applyFooter() {
    for (auto& [f, button] : frequencyButtons_) {
        const bool marked = toString(f) == toString(model_.frequency());
        button->setLook(Theme::sans(12.5, marked ? QFont::Medium : QFont::Normal),
                        marked ? Theme::ink() : Theme::ink3());
        button->setVisible(!model_.observeOnly());
    }
}

}  // namespace quillfen
