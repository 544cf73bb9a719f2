#include "UI/DayRhythmStrip.h"

#include <QHBoxLayout>
#include <QPainterPath>
#include <QVBoxLayout>

#include "UI/DayStripLayout.h"
#include "UI/ExactText.h"
#include "UI/MirrorModel.h"
#include "UI/Render.h"
#include "UI/RollingNumber.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

void paintDayRhythmStrip(QPainter& painter, const QRectF& canvas, const RhythmStrip& strip) {
    painter.save();
    painter.translate(canvas.topLeft());
    const qreal h = canvas.height();
    QPainterPath track;
    track.addRoundedRect(QRectF(0, 0, canvas.width(), h), 6, 6);
    painter.fillPath(track, Theme::faded(Theme::field(), 0.6));
    for (const DayStripLayout::Bar& bar : DayStripLayout::bars(strip, canvas.width())) {
        QPainterPath body;
        body.addRoundedRect(QRectF(bar.x, 0, bar.width, h), 4, 4);
        painter.fillPath(body, Theme::faded(Theme::moss(), bar.opacity));
        if (bar.late) painter.fillRect(QRectF(bar.x, h - 1.5, bar.width, 1.5), Theme::faded(Theme::ember(), 0.75));
    }
    painter.restore();
}

void paintDayAxis(QPainter& painter, const QRectF& canvas, const RhythmStrip& strip) {
    painter.save();
    const QFont font = Theme::sans(9.5);
    painter.setPen(Theme::ink3());
    for (const DayStripLayout::AxisMark& mark :
         DayStripLayout::axisMarks(strip.dayStartHour, strip.dayEndHour, canvas.width())) {
        drawExactText(painter,
                      QRectF(canvas.left() + mark.x, canvas.top(), DayStripLayout::kLabelRoom * 4, canvas.height()),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, ViewBuilding::text(mark.label), font);
    }
    painter.restore();
}

DayRhythmStrip::DayRhythmStrip(const RhythmStrip& strip, qreal height, QWidget* parent)
    : QWidget(parent), strip_(strip) {
    setObjectName(QStringLiteral("dayStrip"));
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedHeight(static_cast<int>(std::lround(height)));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DayRhythmStrip::setStrip(const RhythmStrip& strip) {
    if (strip == strip_) return;
    strip_ = strip;
    update();
}

void DayRhythmStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintDayRhythmStrip(painter, QRectF(rect()), strip_);
}

DayAxis::DayAxis(const RhythmStrip& strip, QWidget* parent) : QWidget(parent), strip_(strip) {
    setObjectName(QStringLiteral("dayAxis"));
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DayAxis::setStrip(const RhythmStrip& strip) {
    if (strip.dayStartHour == strip_.dayStartHour && strip.dayEndHour == strip_.dayEndHour) return;
    strip_ = strip;
    update();
}

std::string DayAxis::hourLabel(int hour) {
    return DayStripLayout::hourLabel(hour);
}

void DayAxis::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintDayAxis(painter, QRectF(rect()), strip_);
}

NumbersRow::NumbersRow(const Counts& counts, QWidget* parent, AnimationDriver& driver) : QWidget(parent) {
    setObjectName(QStringLiteral("numbers"));
    struct Stat {
        const char* name;
        const char* label;
    };
    static constexpr Stat kStats[] = {{"longestRunMin", "longest run"},
                                      {"switchesPerHour", "switches / hr"},
                                      {"pullsLast10m", "pulls / 10m"},
                                      {"pullsToday", "pulls today"},
                                      {"loopsToday", "loops today"}};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (i > 0) {
            QWidget* rule = ViewBuilding::hairline(Qt::Vertical);
            rule->setFixedHeight(26);
            layout->addWidget(ViewBuilding::padded(rule, {0, 2, 0, 0}), 0, Qt::AlignTop);
        }
        RollingNumber::Format format;
        if (i == 0) format = [](long long m) { return ViewBuilding::text(runLabel(m)); };
        auto* value = new RollingNumber(format, nullptr, driver);
        value->setObjectName(QString::fromLatin1(kStats[i].name));
        value->setFont(Theme::sans(18, QFont::Medium));
        ViewBuilding::setColour(value, Theme::ink());
        values_[i] = value;

        auto* stat = new QWidget;
        stat->setObjectName(QString::fromLatin1(kStats[i].name) + QStringLiteral("Stat"));
        // The five share the row's width equally, whatever their texts.
        stat->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        auto* column = new QVBoxLayout(stat);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(2);
        column->addWidget(value);
        column->addWidget(ViewBuilding::label("", Theme::sans(10), Theme::ink3(), false,
                                              QString::fromLatin1(kStats[i].label)));
        column->itemAt(1)->widget()->setObjectName(QString::fromLatin1(kStats[i].name) + QStringLiteral("Label"));
        layout->addWidget(stat, 1, Qt::AlignTop);
    }
    setCounts(counts);
}

void NumbersRow::setCounts(const Counts& counts) {
    const int values[] = {counts.longestRunMin, counts.switchesPerHour, counts.pullsLast10m, counts.pullsToday,
                          counts.loopsToday};
    for (std::size_t i = 0; i < values_.size(); ++i) values_[i]->setValue(values[i]);
}

void NumbersRow::setReduceMotion(bool reduce) {
    for (RollingNumber* value : values_) value->setReduceMotion(reduce);
}

std::string NumbersRow::runLabel(std::int64_t minutes) {
    return DayStripLayout::runLabel(minutes);
}

MirrorStrip::MirrorStrip(MirrorModel& model, qreal height, QWidget* parent)
    : QWidget(parent),
      model_(model),
      strip_(new DayRhythmStrip(model.today(), height)),
      axis_(new DayAxis(model.today())) {
    setObjectName(QStringLiteral("mirrorStrip"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(strip_);
    layout->addWidget(axis_);
    connect(&model_, &MirrorModel::changed, this, &MirrorStrip::refresh);
}

void MirrorStrip::refresh() {
    strip_->setStrip(model_.today());
    axis_->setStrip(model_.today());
}

}  // namespace quillfen
