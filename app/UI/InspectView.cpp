#include "UI/InspectView.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QVBoxLayout>

#include "UI/HillLandscape.h"
#include "UI/InspectModel.h"
#include "UI/SensingNotes.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"
#include "UI/WeekLandscape.h"

namespace quillfen {

using ViewBuilding::text;

namespace {

const char* const kPrivacyLead = "What I never see: ";
const char* const kPrivacyRest =
    "a word you write, a page you read, a file you open, a person you message. I read timestamps and how long, "
    "never content. All of it stays on this machine.";

}  // namespace

FactRow::FactRow(GlyphMark::Kind kind, const QString& title, const QString& body, QWidget* parent)
    : QWidget(parent),
      rule_(ViewBuilding::hairline()),
      title_(ViewBuilding::label("title", Theme::sans(13), Theme::ink(), false, title)),
      text_(ViewBuilding::label("text", Theme::sans(11), Theme::ink3(), true, body)) {
    auto* glyph = new GlyphMark(kind);
    glyph->setObjectName(QStringLiteral("glyph"));
    auto* words = new QVBoxLayout;
    words->setContentsMargins(0, 0, 0, 0);
    words->setSpacing(1);
    words->addWidget(title_);
    words->addWidget(text_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 12);
    layout->setSpacing(12);
    layout->addWidget(glyph, 0, Qt::AlignVCenter);
    layout->addLayout(words, 1);
    // The flexible space after the words never narrows below the stack's spacing and its own
    // least length.
    layout->addSpacing(8);
    rule_->setParent(this);
    rule_->raise();
}

void FactRow::setText(const QString& body) {
    text_->setText(body);
}

void FactRow::setFact(const std::optional<std::string>& fact) {
    setVisible(fact.has_value());
    if (fact) setText(text(*fact));
}

void FactRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rule_->setGeometry(0, 0, event->size().width(), 1);
}

WeekdayRow::WeekdayRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("weekdays"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (int i = 0; i < 7; ++i) {
        QLabel* day = ViewBuilding::label("", Theme::sans(10.5), Theme::ink3());
        day->setObjectName(QStringLiteral("weekday%1").arg(i));
        labels_.push_back(day);
        layout->addWidget(day);
        if (i < 6) layout->addStretch(1);
    }
}

void WeekdayRow::setLabels(const std::vector<std::string>& labels) {
    for (std::size_t i = 0; i < labels_.size(); ++i) labels_[i]->setText(i < labels.size() ? text(labels[i]) : QString());
}

QWidget* makePrivacyLine() {
    auto* line = new QLabel;
    line->setObjectName(QStringLiteral("privacy"));
    line->setFont(Theme::sans(12.5));
    line->setTextFormat(Qt::RichText);
    line->setWordWrap(true);
    line->setMaximumWidth(460);
    line->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    line->setText(QStringLiteral("<p style=\"margin:0; line-height:4px; -qt-line-height-type:line-distance;\">"
                                 "<span style=\"font-weight:500; color:%1;\">%2</span>"
                                 "<span style=\"color:%3;\">%4</span></p>")
                      .arg(Theme::ink2().name(), QString::fromUtf8(kPrivacyLead), Theme::ink3().name(),
                           QString::fromUtf8(kPrivacyRest)));
    // A row, so that in a wide window the paragraph keeps to the leading edge and the space
    // beyond its 460 points stays empty.
    auto* holder = new QWidget;
    holder->setObjectName(QStringLiteral("privacyRow"));
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(line, 1);
    layout->addStretch(0);
    return holder;
}

InspectList::InspectList(InspectModel& model, Clock now, QWidget* parent)
    : QWidget(parent),
      model_(model),
      now_(std::move(now)),
      hills_(new HillLandscape),
      weekdays_(new WeekdayRow),
      sensing_(new SensingNotes({0, 0, 0, 18})),
      atScreen_(InspectView::glyph(GlyphMark::Kind::screen, QStringLiteral("At the screen"), {})),
      thisWeek_(InspectView::glyph(GlyphMark::Kind::wave, QStringLiteral("This week"), {})),
      rightNow_(InspectView::glyph(GlyphMark::Kind::pulse, QStringLiteral("Right now"), {})),
      outside_(InspectView::glyph(GlyphMark::Kind::sun, QStringLiteral("Outside now"), {})),
      browser_(InspectView::glyph(GlyphMark::Kind::wave, QStringLiteral("In the browser"), {})),
      timesSpoken_(InspectView::glyph(GlyphMark::Kind::speak, QStringLiteral("Times I\u2019ve spoken"), {})) {
    setObjectName(QStringLiteral("list"));
    atScreen_->setObjectName(QStringLiteral("atScreenFact"));
    thisWeek_->setObjectName(QStringLiteral("thisWeekFact"));
    rightNow_->setObjectName(QStringLiteral("rightNowFact"));
    outside_->setObjectName(QStringLiteral("outsideFact"));
    browser_->setObjectName(QStringLiteral("browserFact"));
    timesSpoken_->setObjectName(QStringLiteral("timesSpokenFact"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 32, 36, 32);
    layout->setSpacing(0);
    layout->addWidget(ViewBuilding::label("heading", Theme::sans(21, QFont::DemiBold), Theme::ink(), false,
                                          QStringLiteral("What I\u2019m seeing")));
    layout->addWidget(ViewBuilding::padded(
        ViewBuilding::label("subheading", Theme::sans(12.5), Theme::ink3(), false,
                            QStringLiteral("your week\u2019s rhythm, and nothing else")),
        {0, 3, 0, 22}));
    layout->addWidget(sensing_);
    ViewBuilding::addWithBleed(layout, hills_, HillLandscape::kBleed);
    layout->addWidget(ViewBuilding::padded(weekdays_, {0, 2, 0, 0}));

    auto* facts = new QWidget;
    facts->setObjectName(QStringLiteral("facts"));
    auto* factsLayout = new QVBoxLayout(facts);
    factsLayout->setContentsMargins(0, 0, 0, 0);
    factsLayout->setSpacing(0);
    for (FactRow* row : {atScreen_, thisWeek_, rightNow_, outside_, browser_, timesSpoken_}) factsLayout->addWidget(row);
    layout->addWidget(ViewBuilding::padded(facts, {0, 20, 0, 0}));
    layout->addWidget(ViewBuilding::padded(makePrivacyLine(), {0, 22, 0, 0}));
    layout->addStretch(1);

    connect(&model_, &InspectModel::changed, this, &InspectList::refresh);
    refresh();
}

void InspectList::refresh() {
    sensing_->setNotes(model_.sensingNotes());
    hills_->setWeek(model_.week(), model_.rhythmScore());
    weekdays_->setLabels(InspectView::weekdayLabels(now_()));
    atScreen_->setText(text(model_.atScreenFact()));
    thisWeek_->setText(text(model_.thisWeekFact()));
    rightNow_->setText(text(model_.rightNowFact()));
    outside_->setFact(model_.outsideFact());
    browser_->setFact(model_.browserFact());
    timesSpoken_->setText(text(model_.timesSpokenFact()));
}

InspectView::InspectView(InspectModel& model, Clock now, QWidget* parent)
    : QWidget(parent), list_(new InspectList(model, std::move(now))) {
    setObjectName(QStringLiteral("inspectView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QScrollArea* scroll = ViewBuilding::scrollArea(list_, Theme::paper());
    scroll->setMinimumSize(460, 390);
    layout->addWidget(scroll);
    ViewBuilding::fill(this, Theme::paper());
}

FactRow* InspectView::glyph(GlyphMark::Kind kind, const QString& title, const QString& body) {
    return new FactRow(kind, title, body);
}

std::vector<std::string> InspectView::weekdayLabels(TimePoint now) {
    return WeekLandscape::weekdayLabels(now);
}

}  // namespace quillfen
