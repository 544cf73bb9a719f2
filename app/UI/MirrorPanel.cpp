#include "UI/MirrorPanel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Mind/MindConnection.h"
#include "UI/DayRhythmStrip.h"
#include "UI/HillLandscape.h"
#include "UI/InspectModel.h"
#include "UI/InspectView.h"
#include "UI/MirrorModel.h"
#include "UI/Render.h"
#include "UI/SensingNotes.h"
#include "UI/StoneBeing.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"
#include "UI/WeekLandscape.h"

namespace quillfen {

using ViewBuilding::text;

namespace {

QLabel* sectionLabel(const char* objectName, const QString& words) {
    return ViewBuilding::label(objectName, ViewBuilding::tracked(Theme::sans(11, QFont::DemiBold), 0.6),
                               Theme::ink3(), false, words);
}

}  // namespace

MirrorBanner::MirrorBanner(const char* objectName, const QString& line, QWidget* parent)
    : RoundedBox({Theme::field(), Theme::line(), 10, 1}, parent),
      row_(new QHBoxLayout(this)),
      line_(ViewBuilding::label("line", Theme::sans(12.5), Theme::ink2(), true, line)) {
    setObjectName(QString::fromLatin1(objectName));
    auto* dot = new DrawingWidget([](QPainter& p, const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::faded(Theme::ember(), 0.7));
        p.drawEllipse(r);
    });
    dot->setObjectName(QStringLiteral("dot"));
    dot->setFixedSize(6, 6);
    row_->setContentsMargins(12, 10, 12, 10);
    row_->setSpacing(10);
    row_->addWidget(dot, 0, Qt::AlignVCenter);
    row_->addWidget(line_, 1);
}

void MirrorBanner::setLine(const QString& line) {
    line_->setText(line);
}

DeadmanBanner::DeadmanBanner(const QString& line, QWidget* parent) : MirrorBanner("deadmanBanner", line, parent) {}

MindConnectionBanner::MindConnectionBanner(const QString& line, std::function<void()> reconnect, QWidget* parent)
    : MirrorBanner("connectionBanner", line, parent),
      button_(ViewBuilding::plainButton("reconnectButton", QStringLiteral("reconnect"),
                                        Theme::sans(12.5, QFont::Medium), Theme::ink(), [this] {
                                            if (reconnect_) reconnect_();
                                        })) {
    row_->addWidget(button_, 0, Qt::AlignVCenter);
    setReconnect(std::move(reconnect));
}

void MindConnectionBanner::setReconnect(std::function<void()> reconnect) {
    reconnect_ = std::move(reconnect);
    button_->setVisible(static_cast<bool>(reconnect_));
}

MirrorPanelContent::MirrorPanelContent(MirrorModel& model, InspectModel& inspect, std::function<void()> onReconnect,
                                       Clock now, QWidget* parent, AnimationDriver& driver)
    : QWidget(parent),
      model_(model),
      inspect_(inspect),
      onReconnect_(std::move(onReconnect)),
      now_(std::move(now)),
      stone_(new StoneBeing(model.face(), model.identity(), 66, true, nullptr, driver)),
      reflection_(ViewBuilding::label("reflectionLine", Theme::serif(16), Theme::ink(), true)),
      deadman_(new DeadmanBanner({})),
      connection_(new MindConnectionBanner({}, {})),
      sensing_(new SensingNotes({0, 0, 0, 18})),
      strip_(new DayRhythmStrip(model.today(), 44)),
      axis_(new DayAxis(model.today())),
      numbers_(new NumbersRow({}, nullptr, driver)),
      decisions_(ViewBuilding::label("todayDecisionsFact", Theme::sans(11), Theme::ink3(), true)),
      hills_(new HillLandscape),
      weekdays_(new WeekdayRow),
      atScreen_(glyph(GlyphMark::Kind::screen, QStringLiteral("At the screen"), {})),
      thisWeek_(glyph(GlyphMark::Kind::wave, QStringLiteral("This week"), {})),
      rightNow_(glyph(GlyphMark::Kind::pulse, QStringLiteral("Right now"), {})),
      outside_(glyph(GlyphMark::Kind::sun, QStringLiteral("Outside now"), {})),
      browser_(glyph(GlyphMark::Kind::wave, QStringLiteral("In the browser"), {})),
      held_(glyph(GlyphMark::Kind::sun, QStringLiteral("Held for you"), {})),
      timesSpoken_(glyph(GlyphMark::Kind::speak, QStringLiteral("Times I\u2019ve spoken"), {})) {
    setObjectName(QStringLiteral("mirrorContent"));
    atScreen_->setObjectName(QStringLiteral("atScreenFact"));
    thisWeek_->setObjectName(QStringLiteral("thisWeekFact"));
    rightNow_->setObjectName(QStringLiteral("rightNowFact"));
    outside_->setObjectName(QStringLiteral("outsideFact"));
    browser_->setObjectName(QStringLiteral("browserFact"));
    held_->setObjectName(QStringLiteral("heldTodayFact"));
    timesSpoken_->setObjectName(QStringLiteral("timesSpokenFact"));
    strip_->setObjectName(QStringLiteral("todayStrip"));
    axis_->setObjectName(QStringLiteral("todayAxis"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(34, 28, 34, 28);
    layout->setSpacing(0);

    auto* header = new QWidget;
    header->setObjectName(QStringLiteral("header"));
    auto* titles = new QVBoxLayout;
    titles->setContentsMargins(0, 0, 0, 0);
    titles->setSpacing(3);
    titles->addWidget(ViewBuilding::label("title", Theme::sans(21, QFont::DemiBold), Theme::ink(), false,
                                          QStringLiteral("your rhythm")));
    titles->addWidget(ViewBuilding::label("subtitle", Theme::sans(12.5), Theme::ink3(), false,
                                          QStringLiteral("your week\u2019s rhythm, and nothing else")));
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->addLayout(titles);
    headerRow->addStretch(1);
    stone_->setObjectName(QStringLiteral("stone"));
    // The stone stands on the content's paper: laid down by the stone, a breath repaints nothing else.
    stone_->setBackdrop(Theme::paper());
    headerRow->addWidget(stone_, 0, Qt::AlignVCenter);
    layout->addWidget(ViewBuilding::padded(header, {0, 0, 0, 14}));

    reflectionHolder_ = ViewBuilding::padded(reflection_, {0, 0, 0, 20});
    deadmanHolder_ = ViewBuilding::padded(deadman_, {0, 0, 0, 18});
    connectionHolder_ = ViewBuilding::padded(connection_, {0, 0, 0, 18});
    layout->addWidget(reflectionHolder_);
    layout->addWidget(deadmanHolder_);
    layout->addWidget(connectionHolder_);
    layout->addWidget(sensing_);
    layout->addWidget(sectionLabel("todaySection", QStringLiteral("today")));
    layout->addWidget(ViewBuilding::padded(strip_, {0, 8, 0, 0}));
    layout->addWidget(ViewBuilding::padded(axis_, {0, 4, 0, 0}));
    layout->addWidget(ViewBuilding::padded(numbers_, {0, 16, 0, 0}));
    decisionsHolder_ = ViewBuilding::padded(decisions_, {0, 10, 0, 0});
    layout->addWidget(decisionsHolder_);
    layout->addWidget(ViewBuilding::padded(sectionLabel("weekSection", QStringLiteral("this week")), {0, 26, 0, 0}));
    layout->addSpacing(8);
    ViewBuilding::addWithBleed(layout, hills_, HillLandscape::kBleed);
    layout->addWidget(ViewBuilding::padded(weekdays_, {0, 2, 0, 0}));

    auto* facts = new QWidget;
    facts->setObjectName(QStringLiteral("facts"));
    auto* factsLayout = new QVBoxLayout(facts);
    factsLayout->setContentsMargins(0, 0, 0, 0);
    factsLayout->setSpacing(0);
    for (FactRow* row : {atScreen_, thisWeek_, rightNow_, outside_, browser_, held_, timesSpoken_}) {
        factsLayout->addWidget(row);
    }
    layout->addWidget(ViewBuilding::padded(facts, {0, 20, 0, 0}));
    layout->addWidget(ViewBuilding::padded(makePrivacyLine(), {0, 22, 0, 0}));
    layout->addStretch(1);

    connect(&model_, &MirrorModel::changed, this, &MirrorPanelContent::refresh);
    connect(&inspect_, &InspectModel::changed, this, &MirrorPanelContent::refresh);
    refresh();
}

void MirrorPanelContent::refresh() {
    stone_->setFace(model_.face());
    stone_->setIdentity(model_.identity());

    reflectionHolder_->setVisible(!model_.reflectionLine().empty());
    reflection_->setText(text(model_.reflectionLine()));

    const std::optional<std::string> deadmanLine = model_.deadman().line();
    deadmanHolder_->setVisible(deadmanLine.has_value());
    if (deadmanLine) deadman_->setLine(text(*deadmanLine));

    const MindConnection connection = model_.mindConnection();
    const std::optional<std::string_view> bannerLine = MindConnections::bannerLine(connection);
    connectionHolder_->setVisible(bannerLine.has_value());
    if (bannerLine) {
        connection_->setLine(text(*bannerLine));
        connection_->setReconnect(MindConnections::offersReconnect(connection) ? onReconnect_ : nullptr);
    }

    sensing_->setNotes(inspect_.sensingNotes());

    strip_->setStrip(model_.today());
    axis_->setStrip(model_.today());
    numbers_->setCounts({model_.longestRunMin(), model_.switchesPerHour(), model_.pullsLast10m(),
                         model_.pullsToday(), model_.loopsToday()});
    decisionsHolder_->setVisible(model_.todayDecisionsFact().has_value());
    decisions_->setText(text(model_.todayDecisionsFact().value_or("")));

    hills_->setWeek(inspect_.week(), inspect_.rhythmScore());
    weekdays_->setLabels(weekdayLabels(now_()));
    atScreen_->setText(text(inspect_.atScreenFact()));
    thisWeek_->setText(text(inspect_.thisWeekFact()));
    rightNow_->setText(text(inspect_.rightNowFact()));
    outside_->setFact(inspect_.outsideFact());
    browser_->setFact(inspect_.browserFact());
    held_->setFact(model_.heldTodayFact());
    timesSpoken_->setText(text(inspect_.timesSpokenFact()));
}

void MirrorPanelContent::setReduceMotion(bool reduce) {
    stone_->setReduceMotion(reduce);
    numbers_->setReduceMotion(reduce);
}

FactRow* MirrorPanelContent::glyph(GlyphMark::Kind kind, const QString& title, const QString& body) {
    return InspectView::glyph(kind, title, body);
}

std::vector<std::string> MirrorPanelContent::weekdayLabels(TimePoint now) {
    return WeekLandscape::weekdayLabels(now);
}

MirrorPanel::MirrorPanel(MirrorModel& model, InspectModel& inspect, Actions actions, Clock now, QWidget* parent,
                         AnimationDriver& driver)
    : QWidget(parent),
      content_(new MirrorPanelContent(model, inspect, std::move(actions.onReconnect), std::move(now), nullptr, driver)) {
    setObjectName(QStringLiteral("mirrorPanel"));
    setMinimumSize(460, 390);
    ViewBuilding::fill(this, Theme::paper());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ViewBuilding::scrollArea(content_, Theme::paper()), 1);
    if (!actions.onSettings && !actions.onQuit) return;

    QWidget* rule = ViewBuilding::hairline();
    rule->setObjectName(QStringLiteral("footerRule"));
    layout->addWidget(rule);
    auto* footer = new QWidget;
    footer->setObjectName(QStringLiteral("footer"));
    ViewBuilding::fill(footer, Theme::paper());
    auto* buttons = new QHBoxLayout(footer);
    buttons->setContentsMargins(22, 12, 22, 12);
    buttons->addStretch(1);
    const QFont font = Theme::sans(12.5);
    if (actions.onSettings) {
        buttons->addWidget(ViewBuilding::plainButton("settingsButton", QStringLiteral("Settings"), font, Theme::ink3(),
                                                     std::move(actions.onSettings)));
    }
    if (actions.onQuit) {
        buttons->addWidget(ViewBuilding::plainButton("quitButton", QStringLiteral("Quit"), font, Theme::ink3(),
                                                     std::move(actions.onQuit)));
    }
    layout->addWidget(footer);
}

}  // namespace quillfen
