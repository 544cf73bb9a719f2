#include "UI/DevInspectView.h"

#include <QHBoxLayout>
#include <QPainterPath>
#include <QTime>
#include <QVBoxLayout>

#include "Support/LocalCalendar.h"
#include "UI/DayStripLayout.h"
#include "UI/DevInspectParts.h"
#include "UI/InspectFacts.h"
#include "UI/InspectModel.h"
#include "UI/Render.h"
#include "UI/RollingNumber.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

using ViewBuilding::label;
using ViewBuilding::text;

namespace {

QLabel* sectionLabel(const char* objectName, const char* words) {
    return label(objectName, ViewBuilding::tracked(Theme::sans(10.5, QFont::DemiBold), 0.7), Theme::brown50(), false,
                 QString::fromUtf8(words));
}

QVBoxLayout* column(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QWidget* holder(QLayout* layout, const char* objectName = "") {
    auto* widget = new QWidget;
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setLayout(layout);
    return widget;
}

RollingNumber* number(const char* objectName, double size, RollingNumber::Format format, AnimationDriver& driver) {
    auto* value = new RollingNumber(std::move(format), nullptr, driver);
    value->setObjectName(QString::fromLatin1(objectName));
    value->setFont(Theme::sans(size, QFont::Medium));
    ViewBuilding::setColour(value, Theme::greenDeep());
    return value;
}

// A small round mark drawn in a colour the caller keeps in the widget's "colour" property.
QWidget* dot(const char* objectName, int size) {
    auto* mark = new DrawingWidget;
    mark->setPaint([mark](QPainter& p, const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(mark->property("colour").value<QColor>());
        p.drawEllipse(r);
    });
    mark->setObjectName(QString::fromLatin1(objectName));
    mark->setFixedSize(size, size);
    return mark;
}

void setDotColour(QWidget* mark, const QColor& colour) {
    if (mark->property("colour").value<QColor>() == colour) return;
    mark->setProperty("colour", colour);
    mark->update();
}

QWidget* legend(const QColor& colour, const char* word) {
    auto* swatch = new DrawingWidget([colour](QPainter& p, const QRectF& r) {
        QPainterPath box;
        box.addRoundedRect(r, 2, 2);
        p.fillPath(box, colour);
    });
    swatch->setFixedSize(9, 9);
    QLabel* name = label("legendWord", Theme::sans(10), Theme::brown50(), false, QString::fromUtf8(word));
    return holder(ViewBuilding::row({swatch, name}, 5, Qt::AlignVCenter));
}

}  // namespace

DevInspectView::DevInspectView(InspectModel& model, Clock now, QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), model_(model), now_(std::move(now)), driver_(driver) {
    setObjectName(QStringLiteral("devInspectView"));
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("devContent"));
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(22);

    QLabel* heading = label("heading", Theme::sans(26, QFont::Medium), Theme::greenDeep(), false,
                            QStringLiteral("What I\u2019m seeing"));
    QPushButton* refreshButton = ViewBuilding::plainButton("refreshButton", QStringLiteral("Refresh"),
                                                     Theme::sans(13, QFont::Medium), Theme::terra(),
                                                     [this] { model_.onRefresh(); });
    // The button's words sit on the heading's baseline.
    const int lift = ViewBuilding::descentOf(heading) - ViewBuilding::descentOf(refreshButton);
    auto* header = ViewBuilding::row({heading, nullptr, ViewBuilding::padded(refreshButton, {0, 0, 0, lift})}, 6,
                                     Qt::AlignBottom);
    header->setContentsMargins(0, 0, 0, 2);
    stack->addWidget(holder(header, "header"));
    stack->addWidget(buildTimeCard());
    stack->addWidget(buildReasonsToNudge());
    stack->addWidget(buildRestraint());
    stack->addWidget(buildWeekCard());
    stack->addWidget(buildDecisionCard());
    stack->addWidget(buildWhyCard());
    stack->addWidget(buildRecentCard());
    stack->addWidget(buildAskCard());
    updated_ = label("updated", Theme::sans(10.5), Theme::brown50());
    stack->addWidget(updated_);
    stack->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QScrollArea* scroll = ViewBuilding::scrollArea(content, Theme::cream());
    scroll->setMinimumSize(520, 420);
    layout->addWidget(scroll);
    ViewBuilding::fill(this, Theme::cream());

    connect(&model_, &InspectModel::changed, this, &DevInspectView::refresh);
    refresh();
}

QWidget* DevInspectView::buildTimeCard() {
    auto* body = new QWidget;
    QVBoxLayout* layout = column(body, 14);
    continuousMin_ = number("continuousMin", 34, {}, driver_);
    fireThreshold_ = label("fireThreshold", Theme::sans(14), Theme::brown50());
    QLabel* section = sectionLabel("timeSection", "TIME AT SCREEN");
    ViewBuilding::alignBaselines({section, continuousMin_, fireThreshold_});
    layout->addLayout(ViewBuilding::row({section, nullptr, continuousMin_, fireThreshold_}, 0, Qt::AlignBottom));
    meter_ = new MeterBar(0, Theme::terra(), 16, nullptr, driver_);
    meter_->setObjectName(QStringLiteral("meter"));
    layout->addWidget(meter_);
    meterStatus_ = label("meterStatus", Theme::sans(12), Theme::brown50(), true);
    layout->addWidget(meterStatus_);
    auto* card = new Card(body);
    card->setObjectName(QStringLiteral("timeCard"));
    return card;
}

QWidget* DevInspectView::buildReasonsToNudge() {
    auto* section = new QWidget;
    section->setObjectName(QStringLiteral("reasonsToNudge"));
    QVBoxLayout* layout = column(section, 12);
    layout->addWidget(sectionLabel("nudgeSection", "LOAD \u2014 REASONS TO NUDGE"));
    layout->addWidget(label("nudgeNote", Theme::sans(10), Theme::brown50(), true,
                            QStringLiteral("Claude signals read only timestamps + which project \u2014 when you worked "
                                           "and how much you bounced, never your messages.")));

    auto* workday = new QWidget;
    QVBoxLayout* workdayLayout = column(workday, 4);
    activeSince_ = label("activeSince", Theme::sans(20, QFont::Medium), Theme::greenDeep());
    longestStretch_ = label("longestStretch", Theme::sans(10.5), Theme::brown50(), true);
    workdayLayout->addWidget(activeSince_);
    workdayLayout->addWidget(longestStretch_);

    auto* ai = new QWidget;
    QVBoxLayout* aiLayout = column(ai, 0);
    aiUnavailable_ = label("aiUnavailable", Theme::sans(11), Theme::brown50(), true,
                           QStringLiteral("no Claude activity"));
    aiDetails_ = new QWidget;
    aiDetails_->setObjectName(QStringLiteral("aiDetails"));
    QVBoxLayout* details = column(aiDetails_, 4);
    aiSpan_ = number("aiActiveSpan", 22, [](long long m) { return text(spanLabel(static_cast<int>(m))); }, driver_);
    // In a narrow window the words give way, not the number.
    QLabel* atIt = label("aiAtIt", Theme::sans(11), Theme::brown70(), true, QStringLiteral("at it today"));
    ViewBuilding::alignBaselines({aiSpan_, atIt});
    auto* spanRow = ViewBuilding::row({aiSpan_}, 5, Qt::AlignBottom);
    spanRow->addWidget(atIt, 1, Qt::AlignBottom);
    details->addLayout(spanRow);
    aiRun_ = label("aiRun", Theme::sans(10.5), Theme::brown50(), true);
    aiLastActive_ = label("aiLastActive", Theme::sans(10), Theme::brown50());
    details->addWidget(aiRun_);
    details->addWidget(aiLastActive_);
    aiLayout->addWidget(aiUnavailable_);
    aiLayout->addWidget(aiDetails_);

    auto* calendar = new QWidget;
    QVBoxLayout* calendarLayout = column(calendar, 0);
    calendarUnavailable_ = label("calendarUnavailable", Theme::sans(10.5), Theme::brown50(), true,
                                 QStringLiteral("grant access \u2014 counts only"));
    calendarDetails_ = new QWidget;
    calendarDetails_->setObjectName(QStringLiteral("calendarDetails"));
    QVBoxLayout* calDetails = column(calendarDetails_, 4);
    calMeetings_ = number("calMeetings", 24, {}, driver_);
    QLabel* meetings = label("calMeetingsWord", Theme::sans(11), Theme::brown70(), false, QStringLiteral("meetings"));
    ViewBuilding::alignBaselines({calMeetings_, meetings});
    calDetails->addLayout(ViewBuilding::row({calMeetings_, meetings, nullptr}, 5, Qt::AlignBottom));
    calBusy_ = label("calBusy", Theme::sans(10.5), Theme::brown50(), true);
    calDetails->addWidget(calBusy_);
    calendarLayout->addWidget(calendarUnavailable_);
    calendarLayout->addWidget(calendarDetails_);

    auto* load = new QWidget;
    QVBoxLayout* loadLayout = column(load, 8);
    loadMeter_ = new LoadMeter(0, nullptr, driver_);
    loadMeter_->setObjectName(QStringLiteral("loadMeter"));
    loadLabel_ = label("loadLabel", Theme::sans(12.5, QFont::Medium), Theme::greenDeep());
    loadLayout->addWidget(loadMeter_);
    loadLayout->addWidget(loadLabel_);

    attention_ = new StateChip({}, Theme::brown50());
    attention_->setObjectName(QStringLiteral("attentionChip"));
    switches_ = number("appSwitches", 22, {}, driver_);
    idle_ = number("idleSeconds", 22, [](long long s) { return QString::number(s) + QStringLiteral("s"); }, driver_);

    auto tile = [](const char* objectName, const char* words, QWidget* content) {
        auto* t = new Tile(QString::fromUtf8(words), content);
        t->setObjectName(QString::fromLatin1(objectName));
        return t;
    };
    auto tiles = [](std::initializer_list<QWidget*> items) {
        auto* rowLayout = new QHBoxLayout;
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(14);
        for (QWidget* item : items) rowLayout->addWidget(item, 1);
        return rowLayout;
    };
    layout->addLayout(tiles({tile("workdayTile", "Workday", workday), tile("aiTile", "AI tools \u00b7 Claude", ai),
                             tile("calendarTile", "Calendar", calendar)}));
    layout->addLayout(tiles({tile("loadTile", "Load", load), tile("attentionTile", "Attention", attention_),
                             tile("switchesTile", "Switches / hr", switches_), tile("idleTile", "Idle", idle_)}));
    return section;
}

QWidget* DevInspectView::buildRestraint() {
    auto* section = new QWidget;
    section->setObjectName(QStringLiteral("restraint"));
    QVBoxLayout* layout = column(section, 12);
    restraintNote_ = label("restraintNote", Theme::sans(11, QFont::Medium), Theme::terra());
    layout->addLayout(ViewBuilding::row(
        {sectionLabel("restraintSection", "RESTRAINT \u2014 REASONS TO STAY QUIET"), nullptr, restraintNote_}, 6,
        Qt::AlignVCenter));
    call_ = new RestraintChip(QStringLiteral("On a call"), false, {}, nullptr, driver_);
    call_->setObjectName(QStringLiteral("callChip"));
    audio_ = new RestraintChip(QStringLiteral("Audio out"), false, {}, nullptr, driver_);
    audio_->setObjectName(QStringLiteral("audioChip"));
    flow_ = new RestraintChip(QStringLiteral("In flow"), false, {}, nullptr, driver_);
    flow_->setObjectName(QStringLiteral("flowChip"));
    power_ = new RestraintChip(QStringLiteral("Power"), false, {}, nullptr, driver_);
    power_->setObjectName(QStringLiteral("powerChip"));
    auto* chips = new QHBoxLayout;
    chips->setContentsMargins(0, 0, 0, 0);
    chips->setSpacing(14);
    for (RestraintChip* chip : {call_, audio_, flow_, power_}) chips->addWidget(chip, 1);
    layout->addLayout(chips);
    return section;
}

QWidget* DevInspectView::buildWeekCard() {
    auto* body = new QWidget;
    QVBoxLayout* layout = column(body, 14);
    weekCounts_ = label("weekCounts", Theme::sans(13, QFont::Medium), Theme::greenDeep());
    QLabel* section = sectionLabel("weekSection", "THE WEEK IT REMEMBERS");
    ViewBuilding::alignBaselines({section, weekCounts_});
    layout->addLayout(ViewBuilding::row({section, nullptr, weekCounts_}, 6, Qt::AlignBottom));
    weekStrip_ = new WeekStrip({}, {"S", "M", "T", "W", "T", "F", "S"}, now_, nullptr, driver_);
    weekStrip_->setObjectName(QStringLiteral("weekStrip"));
    layout->addWidget(weekStrip_);
    auto* legends = ViewBuilding::row({legend(Theme::greenDeep(), "long afternoon"),
                                       legend(Theme::terra(), "long + scattered"),
                                       legend(Theme::faded(Theme::greenActive(), 0.55), "calm"), nullptr},
                                      18, Qt::AlignVCenter);
    layout->addWidget(holder(legends, "legend"));
    todaySoFar_ = label("todaySoFar", Theme::sans(11), Theme::brown50(), true);
    layout->addWidget(todaySoFar_);
    auto* card = new Card(body);
    card->setObjectName(QStringLiteral("weekCard"));
    return card;
}

QWidget* DevInspectView::buildDecisionCard() {
    auto* body = new QWidget;
    auto* layout = new QHBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    decisionDot_ = dot("decisionDot", 14);
    layout->addWidget(ViewBuilding::padded(decisionDot_, {0, 4, 0, 0}), 0, Qt::AlignTop);
    auto* words = new QWidget;
    QVBoxLayout* wordsLayout = column(words, 6);
    decisionTitle_ = label("decisionTitle", Theme::sans(15, QFont::DemiBold), Theme::greenDeep());
    decisionReason_ = label("decisionReason", Theme::sans(12), Theme::brown50(), true);
    localLine_ = label("localLine", Theme::sans(18, QFont::Medium), Theme::greenDeep(), true);
    wordsLayout->addWidget(decisionTitle_);
    wordsLayout->addWidget(decisionReason_);
    wordsLayout->addWidget(ViewBuilding::padded(localLine_, {0, 4, 0, 0}));
    wordsLayout->addStretch(1);
    layout->addWidget(words, 1);
    auto* card = new Card(body);
    card->setObjectName(QStringLiteral("decisionCard"));
    return card;
}

QWidget* DevInspectView::buildWhyCard() {
    auto* body = new QWidget;
    QVBoxLayout* layout = column(body, 10);
    layout->addWidget(sectionLabel("whySection", "WHY IT\u2019S CHOOSING THIS"));
    whyRows_ = new QWidget;
    whyRows_->setObjectName(QStringLiteral("whyRows"));
    column(whyRows_, 10);
    layout->addWidget(whyRows_);
    auto* card = new Card(body);
    card->setObjectName(QStringLiteral("whyCard"));
    return card;
}

QWidget* DevInspectView::buildRecentCard() {
    auto* body = new QWidget;
    QVBoxLayout* layout = column(body, 8);
    layout->addWidget(sectionLabel("recentSection", "RECENT DECISIONS"));
    recentRows_ = new QWidget;
    recentRows_->setObjectName(QStringLiteral("recentRows"));
    column(recentRows_, 8);
    layout->addWidget(recentRows_);
    recentCard_ = new Card(body);
    recentCard_->setObjectName(QStringLiteral("recentCard"));
    return recentCard_;
}

QWidget* DevInspectView::buildAskCard() {
    auto* body = new QWidget;
    QVBoxLayout* layout = column(body, 12);
    QPushButton* ask = ViewBuilding::plainButton("askButton", QStringLiteral("Ask Ilvane now"),
                                                 Theme::sans(13, QFont::Medium), Theme::terra(),
                                                 [this] { model_.onAskIlvane(); });
    layout->addLayout(ViewBuilding::row({sectionLabel("askSection", "ASK THE CLOUD"), nullptr, ask}, 6,
                                        Qt::AlignVCenter));
    cloudStatus_ = label("cloudStatus", Theme::sans(12), Theme::brown50(), true);
    cloudReasoning_ = label("cloudReasoning", Theme::sans(14, QFont::Medium), Theme::greenDeep(), true);
    cloudReasoningHolder_ = ViewBuilding::padded(cloudReasoning_, {0, 2, 0, 2});
    QFont italic = Theme::sans(18, QFont::Medium);
    italic.setItalic(true);
    cloudLine_ = label("cloudLine", italic, Theme::terra(), true);
    cloudSource_ = label("cloudSource", Theme::sans(11), Theme::brown50(), true);
    cloudHint_ = label("cloudHint", Theme::sans(11.5), Theme::brown50(), true,
                       QStringLiteral("a real call on your own Claude \u2014 see how the cloud\u2019s line compares to "
                                      "the local one above"));
    for (QWidget* w : {static_cast<QWidget*>(cloudStatus_), cloudReasoningHolder_, static_cast<QWidget*>(cloudLine_),
                       static_cast<QWidget*>(cloudSource_), static_cast<QWidget*>(cloudHint_)}) {
        layout->addWidget(w);
    }
    auto* card = new Card(body);
    card->setObjectName(QStringLiteral("askCard"));
    return card;
}

void DevInspectView::refresh() {
    const InspectModel& m = model_;

    continuousMin_->setValue(m.continuousMin());
    fireThreshold_->setText(QStringLiteral("  / %1 min").arg(m.fireThresholdMin()));
    meter_->setFraction(static_cast<double>(m.continuousMin()) / std::max(m.fireThresholdMin(), 1));
    meterStatus_->setText(m.continuousMin() < m.fireThresholdMin()
                              ? QStringLiteral("%1 minutes from where a nudge could even form")
                                    .arg(std::max(m.fireThresholdMin() - m.continuousMin(), 0))
                              : QStringLiteral("past the bar \u2014 a nudge can form if the day\u2019s pattern earns it"));

    activeSince_->setText(m.activeSinceLabel().empty() ? text(InspectFacts::kNoValue)
                                                       : QStringLiteral("since ") + text(m.activeSinceLabel()));
    longestStretch_->setText(QStringLiteral("longest %1m unbroken").arg(m.longestStretchMin()) +
                             (m.lateNight() ? QStringLiteral(" \u00b7 still going") : QString()));
    ViewBuilding::setColour(longestStretch_, m.lateNight() ? Theme::terra() : Theme::brown50());

    aiUnavailable_->setVisible(!m.aiAvailable());
    aiDetails_->setVisible(m.aiAvailable());
    aiSpan_->setValue(m.aiActiveSpanMin());
    aiRun_->setText(QStringLiteral("longest run %1m \u00b7 %2 projects \u00b7 %3 switches")
                        .arg(m.aiLongestRunMin())
                        .arg(m.aiProjectsToday())
                        .arg(m.aiSwitchesToday()));
    ViewBuilding::setColour(aiRun_, m.aiSwitchesToday() >= 10 ? Theme::terra() : Theme::brown50());
    aiLastActive_->setVisible(m.aiLastActiveMinAgo().has_value());
    if (const std::optional<int> ago = m.aiLastActiveMinAgo()) {
        aiLastActive_->setText(*ago == 0 ? QStringLiteral("active now") : QStringLiteral("%1m ago").arg(*ago));
    }

    calendarUnavailable_->setVisible(!m.calAuthorized());
    calendarDetails_->setVisible(m.calAuthorized());
    calMeetings_->setValue(m.calMeetingsToday());
    const bool backToBack = m.calBackToBack() >= 1;
    calBusy_->setText(backToBack ? QStringLiteral("%1 back-to-back").arg(m.calBackToBack())
                                 : QStringLiteral("%1m booked").arg(m.calBusyMin()));
    ViewBuilding::setColour(calBusy_, backToBack ? Theme::terra() : Theme::brown50());

    loadMeter_->setLevel(m.loadLevel());
    loadLabel_->setText(text(m.loadLabel()));
    attention_->setChip(text(m.attention()), attentionColor(m.attention()));
    switches_->setValue(m.appSwitchesLastHour());
    idle_->setValue(m.idleSeconds());

    restraintNote_->setVisible(!m.restraintNote().empty());
    restraintNote_->setText(QStringLiteral("holding quiet \u00b7 ") + text(m.restraintNote()));
    call_->setChip(m.micInUse(), m.micInUse() ? QStringLiteral("mic is live") : QStringLiteral("mic idle"));
    audio_->setChip(m.audioPlaying(), m.audioPlaying() ? QStringLiteral("playing") : QStringLiteral("quiet"));
    flow_->setChip(m.inFlow(), m.inFlow() ? QStringLiteral("focused stretch") : QStringLiteral("not yet"));
    const QString powerDetail =
        m.batteryPercent() ? (m.onBattery() ? QStringLiteral("battery") : QStringLiteral("plugged")) +
                                 QStringLiteral(" \u00b7 %1%").arg(*m.batteryPercent())
                           : (m.onBattery() ? QStringLiteral("on battery") : QStringLiteral("plugged in"));
    power_->setChip(m.onBattery(), powerDetail);

    weekCounts_->setText(QStringLiteral("%1 long \u00b7 %2 scattered").arg(m.longAfternoons()).arg(m.fragmentedAfternoons()));
    weekStrip_->setDays(m.week());
    todaySoFar_->setText(QStringLiteral("today so far: ") + text(m.partOfDay()) + QStringLiteral(" \u00b7 peak ") +
                         text(m.todayBand()) + QStringLiteral(" \u00b7 ") +
                         QStringLiteral("%1 nudges this week").arg(m.nudgesThisWeek()));

    setDotColour(decisionDot_, m.firing() ? Theme::terra() : Theme::greenActive());
    decisionTitle_->setText(m.firing() ? QStringLiteral("Would surface a nudge") : QStringLiteral("Silent"));
    decisionReason_->setVisible(!m.decisionReason().empty());
    decisionReason_->setText(text(m.decisionReason()));
    localLine_->setText(text(m.localLine()));

    refreshWhy();
    refreshRecent();

    cloudStatus_->setVisible(!m.cloudStatus().empty());
    cloudStatus_->setText(text(m.cloudStatus()));
    cloudReasoningHolder_->setVisible(!m.cloudReasoning().empty());
    cloudReasoning_->setText(QStringLiteral("\u201c") + text(m.cloudReasoning()) + QStringLiteral("\u201d"));
    const std::optional<std::string>& line = m.cloudLine();
    cloudLine_->setVisible(line.has_value());
    cloudLine_->setText(text(line.value_or("")));
    cloudSource_->setVisible(line.has_value() && !m.cloudSource().empty());
    cloudSource_->setText(text(m.cloudSource()));
    cloudHint_->setVisible(!line.has_value());

    updated_->setText(QStringLiteral("updated ") + timeOfDay(m.lastUpdated()));
}

void DevInspectView::refreshWhy() {
    if (model_.whyFactors() == shownWhy_) return;
    shownWhy_ = model_.whyFactors();
    QLayout* layout = whyRows_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (std::size_t i = 0; i < shownWhy_.size(); ++i) {
        const InspectFacts::FactorLine factor = InspectFacts::FactorLine::of(shownWhy_[i]);
        const bool verdict = factor.mark == "\u2192";
        QColor markColour = Theme::brown50();
        if (factor.mark == "\u2713") markColour = Theme::greenActive();
        if (factor.mark == "\u2717") markColour = Theme::terra();
        if (verdict) markColour = Theme::greenDeep();
        QLabel* mark = label("mark", Theme::sans(12, QFont::Bold), markColour, false, text(factor.mark));
        mark->setFixedWidth(12);
        mark->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QLabel* body = label("body", Theme::sans(12, verdict ? QFont::DemiBold : QFont::Normal),
                             verdict ? Theme::greenDeep() : Theme::brown70(), true, text(factor.body));
        auto* rowLayout = new QHBoxLayout;
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(8);
        rowLayout->addWidget(mark, 0, Qt::AlignTop);
        rowLayout->addWidget(body, 1);
        QWidget* row = holder(rowLayout);
        row->setObjectName(QStringLiteral("why%1").arg(i));
        layout->addWidget(row);
    }
}

void DevInspectView::refreshRecent() {
    recentCard_->setVisible(!model_.decisionLog().empty());
    if (model_.decisionLog() == shownRecent_) return;
    shownRecent_ = model_.decisionLog();
    QLayout* layout = recentRows_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (std::size_t i = 0; i < shownRecent_.size(); ++i) {
        QLabel* entry = label("", Theme::mono(11), Theme::brown70(), false, text(shownRecent_[i]));
        entry->setObjectName(QStringLiteral("decision%1").arg(i));
        layout->addWidget(entry);
    }
}

void DevInspectView::setReduceMotion(bool reduce) {
    reduceMotion_ = reduce;
    for (RollingNumber* n : {continuousMin_, aiSpan_, calMeetings_, switches_, idle_}) n->setReduceMotion(reduce);
    meter_->setReduceMotion(reduce);
    loadMeter_->setReduceMotion(reduce);
    weekStrip_->setReduceMotion(reduce);
    for (RestraintChip* chip : {call_, audio_, flow_, power_}) chip->setReduceMotion(reduce);
}

QColor DevInspectView::attentionColor(const std::string& attention) {
    if (attention == "focused") return Theme::greenActive();
    if (attention == "fragmented") return Theme::terra();
    return Theme::brown50();
}

std::string DevInspectView::spanLabel(int minutes) {
    return DayStripLayout::runLabel(minutes);
}

QString DevInspectView::timeOfDay(TimePoint t, const QLocale& locale) {
    const std::tm local = LocalCalendar::localTime(t);
    // The locale's long time style, without the zone it names (letters "t" outside quotes).
    const QString style = locale.timeFormat(QLocale::LongFormat);
    QString format;
    bool quoted = false;
    for (QChar c : style) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        format += c;
    }
    return locale.toString(QTime(local.tm_hour, local.tm_min, local.tm_sec), format.trimmed());
}

}  // namespace quillfen
