#pragma once

#include <QPainter>
#include <QRectF>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "Signals/RhythmStrip.h"
#include "UI/AnimationDriver.h"

namespace quillfen {

class MirrorModel;
class RollingNumber;

// Today's runs of activity as bars along the day's window, on a soft track.
void paintDayRhythmStrip(QPainter& painter, const QRectF& canvas, const RhythmStrip& strip);
// Every fourth hour under the strip.
void paintDayAxis(QPainter& painter, const QRectF& canvas, const RhythmStrip& strip);

class DayRhythmStrip : public QWidget {
    Q_OBJECT
public:
    DayRhythmStrip(const RhythmStrip& strip, qreal height, QWidget* parent = nullptr);
    void setStrip(const RhythmStrip& strip);
    const RhythmStrip& strip() const { return strip_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RhythmStrip strip_;
};

class DayAxis : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 14;

    explicit DayAxis(const RhythmStrip& strip, QWidget* parent = nullptr);
    void setStrip(const RhythmStrip& strip);
    static std::string hourLabel(int hour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RhythmStrip strip_;
};

// The five counts of today the mirror shows.
struct TodayCounts {
    int longestRunMin = 0;
    int switchesPerHour = 0;
    int pullsLast10m = 0;
    int pullsToday = 0;
    int loopsToday = 0;
    bool operator==(const TodayCounts&) const = default;
};

// Five counts of today side by side, each rolling to its new value when it changes.
class NumbersRow : public QWidget {
    Q_OBJECT
public:
    using Counts = TodayCounts;

    explicit NumbersRow(const Counts& counts = {}, QWidget* parent = nullptr,
                        AnimationDriver& driver = AnimationDriver::shared());
    void setCounts(const Counts& counts);
    void setReduceMotion(bool reduce);

    static std::string runLabel(std::int64_t minutes);

private:
    std::array<RollingNumber*, 5> values_{};
};

// The strip and its axis over the mirror model, for the panel's calm body.
class MirrorStrip : public QWidget {
    Q_OBJECT
public:
    MirrorStrip(MirrorModel& model, qreal height, QWidget* parent = nullptr);
    void refresh();

private:
    MirrorModel& model_;
    DayRhythmStrip* strip_;
    DayAxis* axis_;
};

}  // namespace quillfen
