#pragma once

#include <QColor>
#include <QLabel>
#include <QPainter>
#include <QRectF>
#include <QWidget>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Contract/AgentSummary.h"
#include "Support/Clock.h"
#include "UI/AnimationDriver.h"
#include "UI/RoundedBox.h"

// The developer inspect window's building blocks: two containers, two meters, a coloured state
// word, the week as bars and a restraint reason. Each is built from the values it is given and
// moves only when one of them changes.
namespace quillfen {

// Content on a half-cream panel with a hairline edge, taking the full width.
class Card : public RoundedBox {
    Q_OBJECT
public:
    explicit Card(QWidget* content, QWidget* parent = nullptr);
};

// A labelled reason box; tiles in a row share its width equally, except that none narrows
// below what its content needs.
class Tile : public RoundedBox {
    Q_OBJECT
public:
    Tile(const QString& label, QWidget* content, QWidget* parent = nullptr);
    QLabel* label() const { return label_; }
    QSize sizeHint() const override;

private:
    QLabel* label_;
};

struct MeterBarState {
    double fraction = 0;  // as drawn, already clamped to 0 ... 1
    QColor colour;
};

// A capsule track with a capsule fill that never narrows below 3 points.
void paintMeterBar(QPainter& painter, const QRectF& canvas, const MeterBarState& state);

class MeterBar : public QWidget {
    Q_OBJECT
public:
    MeterBar(double fraction, const QColor& colour, qreal height, QWidget* parent = nullptr,
             AnimationDriver& driver = AnimationDriver::shared());
    void setFraction(double fraction);
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }
    // The fraction as drawn now; it eases to a new value over 0.7 s.
    MeterBarState state() const { return {shown_.value(), colour_}; }
    // The fill's width for a widget `width` wide.
    static qreal fillWidth(double fraction, qreal width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    AnimatedValue shown_;
    bool reduceMotion_ = false;
};

// Three capsules lit by the day's load: one green for low, two muted terra for medium, three
// terra for high.
void paintLoadMeter(QPainter& painter, const QRectF& canvas, const std::array<QColor, 3>& colours);

class LoadMeter : public QWidget {
    Q_OBJECT
public:
    explicit LoadMeter(int level, QWidget* parent = nullptr, AnimationDriver& driver = AnimationDriver::shared());
    void setLevel(int level);
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }
    static std::array<QColor, 3> colours(int level);
    // As drawn now; they fade to a new level's over 0.4 s.
    std::array<QColor, 3> shownColours() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int level_;
    std::array<QColor, 3> from_;
    std::array<QColor, 3> to_;
    AnimatedValue progress_;
    bool reduceMotion_ = false;
};

// A coloured dot and a word.
class StateChip : public QWidget {
    Q_OBJECT
public:
    StateChip(const QString& label, const QColor& colour, QWidget* parent = nullptr);
    void setChip(const QString& label, const QColor& colour);
    QLabel* label() const { return label_; }
    QColor colour() const { return colour_; }

private:
    QLabel* label_;
    QWidget* dot_;
    QColor colour_;
};

struct WeekStripColumn {
    int daysAgo = 0;
    qreal barHeight = 0;
    QColor fill;
    QString letter;
    bool isToday = false;
};

// One column a day, oldest at the left: a bar sized by the day, over the day's letter.
void paintWeekStrip(QPainter& painter, const QRectF& canvas, const std::vector<WeekStripColumn>& columns);

class WeekStrip : public QWidget {
    Q_OBJECT
public:
    WeekStrip(std::vector<AgentSummary::DayMark> days, std::vector<std::string> dayLetters, Clock now,
              QWidget* parent = nullptr, AnimationDriver& driver = AnimationDriver::shared());
    void setDays(std::vector<AgentSummary::DayMark> days);
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }

    // The letter of the mark's weekday, from `dayLetters` (Sunday first).
    std::string letter(const AgentSummary::DayMark& mark) const;
    static qreal barHeight(const AgentSummary::DayMark& mark);
    static QColor barFill(const AgentSummary::DayMark& mark);
    // The columns as drawn now, leftmost first; a changed bar springs to its new height.
    std::vector<WeekStripColumn> columns() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<AgentSummary::DayMark> days_;
    std::vector<std::string> dayLetters_;
    Clock now_;
    AnimationDriver& driver_;
    std::map<int, std::unique_ptr<AnimatedValue>> heights_;
    bool reduceMotion_ = false;
};

// A reason to stay quiet: a dot, its label and a detail; lit in terra while it holds. Chips in
// a row share its width like tiles.
class RestraintChip : public RoundedBox {
    Q_OBJECT
public:
    RestraintChip(const QString& label, bool active, const QString& detail, QWidget* parent = nullptr,
                  AnimationDriver& driver = AnimationDriver::shared());
    void setChip(bool active, const QString& detail);
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }
    bool active() const { return active_; }
    // 0 at rest, 1 lit; the tint, the edge and the dot fade together over 0.4 s.
    double litness() const { return lit_.value(); }
    QLabel* label() const { return label_; }
    QLabel* detail() const { return detail_; }
    QColor dotColour() const;
    QSize sizeHint() const override;

private:
    void redraw();

    QLabel* label_;
    QLabel* detail_;
    QWidget* dot_;
    bool active_;
    AnimatedValue lit_;
    bool reduceMotion_ = false;
};

}  // namespace quillfen
