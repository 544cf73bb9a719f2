#include "UI/SettingsView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "UI/MossToggle.h"
#include "UI/PanelModel.h"
#include "UI/ParagraphLabel.h"
#include "UI/PlainTextButton.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {

QString settingsText(const char* english) {
    return QCoreApplication::translate("SettingsView", english);
}

ParagraphLabel* subLine(const QString& text, const char* name) {
    auto* label = new ParagraphLabel(text, Theme::sans(11), Theme::ink3());
    label->setObjectName(name);
    return label;
}

}  // namespace

QWidget* SettingsView::row(const QString& title, ParagraphLabel* sub, QWidget* trailing, QWidget* parent) {
    auto* frame = new QWidget(parent);
    auto* stack = new QVBoxLayout(frame);
    // The hairline lies over the last point of the row's padding, so it adds no height.
    stack->setContentsMargins(0, 11, 0, 0);
    stack->setSpacing(0);

    auto* line = new QHBoxLayout;
    line->setSpacing(12);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* heading = new ParagraphLabel(title, Theme::sans(13.5), Theme::ink(), 0, frame);
    heading->setObjectName("title");
    text->addWidget(heading);
    sub->setParent(frame);
    text->addWidget(sub);
    line->addLayout(text, 1);
    if (trailing) {
        trailing->setParent(frame);
        line->addWidget(trailing, 0, Qt::AlignVCenter);
    }
    stack->addLayout(line);
    stack->addSpacing(10);

    auto* hairline = new QWidget(frame);
    hairline->setObjectName("hairline");
    QPalette palette = hairline->palette();
    palette.setColor(QPalette::Window, Theme::line());
    hairline->setPalette(palette);
    hairline->setAutoFillBackground(true);
    hairline->setFixedHeight(1);
    stack->addWidget(hairline);
    return frame;
}

SettingsView::SettingsView(SettingsModel& model, QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), model_(model), driver_(driver) {
    setFixedWidth(400);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::paper());
    setPalette(palette);
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(30, 26, 30, 26);
    column->setSpacing(0);

    auto* heading =
        new ParagraphLabel(settingsText("settings"), Theme::sans(21, QFont::DemiBold), Theme::ink(), 0, this);
    heading->setObjectName("heading");
    column->addWidget(heading);
    column->addSpacing(18);

    auto addRow = [&](const char* name, const char* title, ParagraphLabel* sub, QWidget* trailing) {
        QWidget* r = row(settingsText(title), sub, trailing, this);
        r->setObjectName(name);
        column->addWidget(r);
    };

    loginSub_ = subLine({}, "launchAtLoginNote");
    addRow("launchAtLoginRow", "Start at login", loginSub_,
           bind("launchAtLogin", [](const SettingsModel& m) { return m.launchAtLogin(); },
                [](SettingsModel& m, bool v) { m.setLaunchAtLogin(v); },
                [](const SettingsModel& m) -> const std::function<void(bool)>& { return m.onLaunchAtLogin; }));
    addRow("showDesktopPaneRow", "Desktop stone",
           subLine(settingsText("the breathing pane in the corner; click it to open your rhythm"),
                   "showDesktopPaneNote"),
           bind("showDesktopPane", [](const SettingsModel& m) { return m.showDesktopPane(); },
                [](SettingsModel& m, bool v) { m.setShowDesktopPane(v); },
                [](const SettingsModel& m) -> const std::function<void(bool)>& { return m.onShowDesktopPane; }));
    selfUpdateSub_ = subLine({}, "selfUpdateNote");
    addRow("selfUpdateRow", "Keeps itself current", selfUpdateSub_,
           bind("selfUpdate", [](const SettingsModel& m) { return m.selfUpdate(); },
                [](SettingsModel& m, bool v) { m.setSelfUpdate(v); },
                [](const SettingsModel& m) -> const std::function<void(bool)>& { return m.onSelfUpdate; }));
    addRow("calendarBreaksRow", "Calendar breaks",
           subLine(settingsText("off by default; when on, a heavy day gets one ten-minute hold in a free gap of "
                                "your calendar folder, announced by your calendar, yours to delete"),
                   "calendarBreaksNote"),
           bind("calendarBreaks", [](const SettingsModel& m) { return m.calendarBreaks(); },
                [](SettingsModel& m, bool v) { m.setCalendarBreaks(v); },
                [](const SettingsModel& m) -> const std::function<void(bool)>& { return m.onCalendarBreaks; }));

    auto* face = new QWidget;
    auto* faceLayout = new QHBoxLayout(face);
    faceLayout->setContentsMargins(0, 0, 0, 0);
    faceLayout->setSpacing(0);
    auto* on =
        new ParagraphLabel(settingsText("on"), Theme::sans(12.5, QFont::Medium), Theme::ink(), 0, face);
    on->setObjectName("statuslineOn");
    faceOn_ = on;
    install_ =
        new PlainTextButton(settingsText("Install"), Theme::sans(12.5, QFont::Medium), Theme::ink(), face);
    install_->setObjectName("installButton");
    install_->setCapsule(QMargins(12, 5, 12, 5), Theme::line());
    faceLayout->addWidget(on);
    faceLayout->addWidget(install_);
    QObject::connect(install_, &QAbstractButton::clicked, this, [this] { callIfSet(model_.onInstallClaudeFace); });
    faceSub_ = subLine({}, "statuslineNote");
    addRow("statuslineRow", "Claude Code face", faceSub_, face);

    healthSub_ = subLine({}, "healthBridgeNote");
    addRow("healthBridgeRow", "Health signal", healthSub_, nullptr);

    auto* footer = new ParagraphLabel(
        settingsText("How often it may speak, your hours line, and how insistent it gets arrive with the milestone "
                     "where it speaks at all. Right now it only watches and reflects."),
        Theme::sans(12), Theme::ink3(), 3, this);
    footer->setObjectName("footer");
    column->addSpacing(20);
    column->addWidget(footer);
    column->addStretch(1);

    QObject::connect(&model_, &ObservableModel::changed, this, [this] { refresh(); });
    refresh();
}

MossToggle* SettingsView::bind(const char* name, Reader read, Writer write, Callback callback) {
    auto* toggle = new MossToggle(read(model_), nullptr, driver_);
    toggle->setObjectName(name);
    toggles_.emplace_back(toggle, read);
    QObject::connect(toggle, &QAbstractButton::toggled, this,
                     [this, write = std::move(write), callback = std::move(callback)](bool value) {
                         write(model_, value);
                         callIfSet(callback(model_), value);
                     });
    return toggle;
}

QSize SettingsView::sizeHint() const {
    return {width(), heightForWidth(width())};
}

bool SettingsView::event(QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) holdWrappedHeight(*this);
    return QWidget::event(event);
}

void SettingsView::setReduceMotion(bool reduce) {
    for (auto& [toggle, read] : toggles_) toggle->setReduceMotion(reduce);
}

void SettingsView::refresh() {
    for (auto& [toggle, read] : toggles_) toggle->setOn(read(model_));
    // A refusal stands where the promise of coming back would be, which it makes untrue.
    QStringList login;
    for (const std::string* note : {&model_.loginItemNote(), &model_.loginRefusal()})
        if (!note->empty()) login << QString::fromStdString(*note);
    loginSub_->setText(login.isEmpty() ? settingsText("the being is back after every restart")
                                       : login.join('\n'));
    selfUpdateSub_->setText(
        settingsText("checks once a day, verifies the maker's signature, swaps quietly · you're on ") +
        QString::fromStdString(model_.buildLabel()));
    const bool installed = model_.statuslineInstalled();
    if (installed) {
        faceSub_->setText(settingsText("installed: the stone lives in your statusline"));
    } else if (!model_.claudeFaceNote().empty()) {
        faceSub_->setText(QString::fromStdString(model_.claudeFaceNote()));
    } else {
        faceSub_->setText(settingsText("one click puts the face and the breather in your Claude Code"));
    }
    faceOn_->setVisible(installed);
    install_->setVisible(!installed);
    healthSub_->setText(QString::fromStdString(model_.healthBridgeNote()));
}

}  // namespace quillfen
