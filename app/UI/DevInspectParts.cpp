#include "UI/DevInspectParts.h"

#include <QHBoxLayout>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "UI/ExactText.h"
#include "UI/Render.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"
#include "UI/WeekLandscape.h"

namespace quillfen {

namespace {

const Animation& meterCurve() {
    static const Animation curve{TimingCurve::bezier(0, 0, 0.58, 1), 0.7};
    return curve;
}

const Animation& fadeCurve() {
    static const Animation curve = Animation::easeInOut(0.4);
    return curve;
}

const Animation& barSpring() {
    static const Animation curve = Animation::spring(0.55, 0.7);
    return curve;
}

QColor halfCream() {
    return Theme::faded(Theme::cream(), 0.5);
}

void fillCapsule(QPainter& painter, const QRectF& box, const QColor& colour) {
    QPainterPath capsule;
    const qreal r = std::min(box.width(), box.height()) / 2;
    capsule.addRoundedRect(box, r, r);
    painter.fillPath(capsule, colour);
}

double drawable(double fraction) {
    return std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
}

}  // namespace

Card::Card(QWidget* content, QWidget* parent) : RoundedBox({halfCream(), Theme::hairline(), 14, 1}, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(0);
    layout->addWidget(content);
}

Tile::Tile(const QString& label, QWidget* content, QWidget* parent)
    : RoundedBox({halfCream(), Theme::hairline(), 12, 1}, parent),
      label_(ViewBuilding::label("tileLabel", ViewBuilding::tracked(Theme::sans(9.5, QFont::DemiBold), 0.6),
                                 Theme::brown50(), true, label.toUpper())) {
    setMinimumHeight(78);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(10);
    layout->addWidget(label_);
    layout->addWidget(content);
    layout->addStretch(1);
}

// Asking only for the least width lets a row's stretch share it out evenly.
QSize Tile::sizeHint() const {
    return {minimumSizeHint().width(), RoundedBox::sizeHint().height()};
}

void paintMeterBar(QPainter& painter, const QRectF& canvas, const MeterBarState& state) {
    fillCapsule(painter, canvas, Theme::faded(Theme::hairline(), 0.5));
    fillCapsule(painter, QRectF(canvas.topLeft(), QSizeF(MeterBar::fillWidth(state.fraction, canvas.width()), canvas.height())),
                state.colour);
}

MeterBar::MeterBar(double fraction, const QColor& colour, qreal height, QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), colour_(colour), shown_(driver, drawable(fraction), [this] { update(); }) {
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedHeight(static_cast<int>(std::lround(height)));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MeterBar::setFraction(double fraction) {
    const double target = drawable(fraction);
    if (target == shown_.target()) return;
    shown_.moveTo(target, meterCurve(), reduceMotion_ || !isVisible());
}

qreal MeterBar::fillWidth(double fraction, qreal width) {
    return std::max<qreal>(3, width * drawable(fraction));
}

void MeterBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintMeterBar(painter, QRectF(rect()), state());
}

void paintLoadMeter(QPainter& painter, const QRectF& canvas, const std::array<QColor, 3>& colours) {
    constexpr qreal kGap = 4;
    constexpr qreal kHeight = 9;
    const qreal width = (canvas.width() - 2 * kGap) / 3;
    const qreal top = canvas.top() + (canvas.height() - kHeight) / 2;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        fillCapsule(painter, QRectF(canvas.left() + static_cast<qreal>(i) * (width + kGap), top, width, kHeight),
                    colours[i]);
    }
}

LoadMeter::LoadMeter(int level, QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), level_(level), from_(colours(level)), to_(from_), progress_(driver, 1, [this] { update(); }) {
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedHeight(9);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

std::array<QColor, 3> LoadMeter::colours(int level) {
    std::array<QColor, 3> result;
    for (int i = 0; i < 3; ++i) {
        if (i > level) {
            result[static_cast<std::size_t>(i)] = Theme::faded(Theme::hairline(), 0.5);
        } else if (level >= 2) {
            result[static_cast<std::size_t>(i)] = Theme::terra();
        } else if (level == 1) {
            result[static_cast<std::size_t>(i)] = Theme::faded(Theme::terra(), 0.7);
        } else {
            result[static_cast<std::size_t>(i)] = Theme::greenActive();
        }
    }
    return result;
}

std::array<QColor, 3> LoadMeter::shownColours() const {
    std::array<QColor, 3> shown;
    for (std::size_t i = 0; i < shown.size(); ++i)
        shown[i] = Theme::mixed(from_[i], to_[i], progress_.value());
    return shown;
}

void LoadMeter::setLevel(int level) {
    if (level == level_) return;
    level_ = level;
    from_ = shownColours();
    to_ = colours(level);
    progress_.set(0);
    progress_.moveTo(1, fadeCurve(), reduceMotion_ || !isVisible());
}

void LoadMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintLoadMeter(painter, QRectF(rect()), shownColours());
}

StateChip::StateChip(const QString& label, const QColor& colour, QWidget* parent)
    : QWidget(parent),
      label_(ViewBuilding::label("chipLabel", Theme::sans(12.5, QFont::Medium), Theme::greenDeep(), false, label)),
      colour_(colour) {
    dot_ = new DrawingWidget([this](QPainter& p, const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour_);
        p.drawEllipse(r);
    });
    dot_->setObjectName(QStringLiteral("chipDot"));
    dot_->setFixedSize(7, 7);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(dot_, 0, Qt::AlignVCenter);
    layout->addWidget(label_, 0, Qt::AlignVCenter);
    layout->addStretch(1);
}

void StateChip::setChip(const QString& label, const QColor& colour) {
    label_->setText(label);
    if (colour == colour_) return;
    colour_ = colour;
    dot_->update();
}

void paintWeekStrip(QPainter& painter, const QRectF& canvas, const std::vector<WeekStripColumn>& columns) {
    if (columns.empty()) return;
    constexpr qreal kSpacing = 10;
    constexpr qreal kColumnHeight = 96;
    constexpr qreal kLetterGap = 8;
    const auto n = static_cast<qreal>(columns.size());
    const qreal width = (canvas.width() - kSpacing * (n - 1)) / n;
    const qreal bottom = canvas.top() + (canvas.height() + kColumnHeight) / 2;
    painter.save();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const WeekStripColumn& c = columns[i];
        const qreal left = canvas.left() + static_cast<qreal>(i) * (width + kSpacing);
        const QFont font = Theme::sans(10.5, c.isToday ? QFont::Bold : QFont::Normal);
        const qreal letterHeight = TextMetrics(font).height();
        painter.setPen(c.isToday ? Theme::terra() : Theme::brown50());
        drawExactText(painter, QRectF(left, bottom - letterHeight, width, letterHeight),
                      Qt::AlignHCenter | Qt::AlignBottom, c.letter, font);
        const qreal barBottom = bottom - letterHeight - kLetterGap;
        const qreal barHeight = std::max<qreal>(c.barHeight, 0);
        QPainterPath bar;
        bar.addRoundedRect(QRectF(left, barBottom - barHeight, width, barHeight), 5, 5);
        painter.fillPath(bar, c.fill);
    }
    painter.restore();
}

WeekStrip::WeekStrip(std::vector<AgentSummary::DayMark> days, std::vector<std::string> dayLetters, Clock now,
                     QWidget* parent, AnimationDriver& driver)
    : QWidget(parent), dayLetters_(std::move(dayLetters)), now_(std::move(now)), driver_(driver) {
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedHeight(100);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setDays(std::move(days));
}

qreal WeekStrip::barHeight(const AgentSummary::DayMark& mark) {
    if (!mark.observed) return 8;
    return mark.wentLong ? 76 : 38;
}

QColor WeekStrip::barFill(const AgentSummary::DayMark& mark) {
    if (!mark.observed) return Theme::faded(Theme::hairline(), 0.5);
    if (!mark.wentLong) return Theme::faded(Theme::greenActive(), 0.55);
    return mark.fragmented ? Theme::terra() : Theme::greenDeep();
}

std::string WeekStrip::letter(const AgentSummary::DayMark& mark) const {
    const auto index = static_cast<std::size_t>(WeekLandscape::weekdayIndex(now_(), mark.daysAgo));
    return index < dayLetters_.size() ? dayLetters_[index] : std::string();
}

void WeekStrip::setDays(std::vector<AgentSummary::DayMark> days) {
    days_ = std::move(days);
    std::map<int, std::unique_ptr<AnimatedValue>> kept;
    for (const AgentSummary::DayMark& mark : days_) {
        auto found = heights_.find(mark.daysAgo);
        if (found == heights_.end()) {
            // A day that joins the strip stands at its height at once.
            kept[mark.daysAgo] = std::make_unique<AnimatedValue>(driver_, barHeight(mark), [this] { update(); });
            continue;
        }
        if (found->second->target() != barHeight(mark)) {
            found->second->moveTo(barHeight(mark), barSpring(), reduceMotion_ || !isVisible());
        }
        kept[mark.daysAgo] = std::move(found->second);
    }
    heights_ = std::move(kept);
    update();
}

std::vector<WeekStripColumn> WeekStrip::columns() const {
    std::vector<WeekStripColumn> result;
    result.reserve(days_.size());
    for (auto it = days_.rbegin(); it != days_.rend(); ++it) {
        const auto height = heights_.find(it->daysAgo);
        result.push_back({it->daysAgo, height != heights_.end() ? height->second->value() : barHeight(*it),
                          barFill(*it), ViewBuilding::text(letter(*it)), it->isToday});
    }
    return result;
}

void WeekStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintWeekStrip(painter, QRectF(rect()), columns());
}

RestraintChip::RestraintChip(const QString& label, bool active, const QString& detail, QWidget* parent,
                             AnimationDriver& driver)
    : RoundedBox({}, parent),
      label_(ViewBuilding::label("chipLabel", Theme::sans(12, QFont::Medium), Theme::brown50(), false, label)),
      detail_(ViewBuilding::label("chipDetail", Theme::sans(10.5), Theme::brown50(), false, detail)),
      active_(active),
      lit_(driver, active ? 1 : 0, [this] { redraw(); }) {
    dot_ = new DrawingWidget([this](QPainter& p, const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(dotColour());
        p.drawEllipse(r);
    });
    dot_->setObjectName(QStringLiteral("chipDot"));
    dot_->setFixedSize(8, 8);
    setMinimumHeight(56);
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(7);
    top->addWidget(dot_, 0, Qt::AlignVCenter);
    top->addWidget(label_, 1, Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(13, 13, 13, 13);
    layout->setSpacing(7);
    layout->addLayout(top);
    layout->addWidget(detail_);
    layout->addStretch(1);
    redraw();
}

QSize RestraintChip::sizeHint() const {
    return {minimumSizeHint().width(), RoundedBox::sizeHint().height()};
}

QColor RestraintChip::dotColour() const {
    return Theme::mixed(Theme::hairline(), Theme::terra(), lit_.value());
}

void RestraintChip::setChip(bool active, const QString& detail) {
    detail_->setText(detail);
    if (active == active_) return;
    active_ = active;
    lit_.moveTo(active ? 1 : 0, fadeCurve(), reduceMotion_ || !isVisible());
    redraw();
}

void RestraintChip::redraw() {
    const double t = lit_.value();
    ViewBuilding::setColour(label_, active_ ? Theme::greenDeep() : Theme::brown50());
    setBoxState({Theme::mixed(halfCream(), Theme::faded(Theme::terra(), 0.08), t),
                 Theme::mixed(Theme::hairline(), Theme::faded(Theme::terra(), 0.35), t), 12, 1});
    dot_->update();
}

}  // namespace quillfen
