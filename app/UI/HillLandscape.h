#pragma once

#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>
#include <vector>

#include "Contract/AgentSummary.h"

namespace quillfen {

// The week drawn as hills, oldest day at the left and today, marked, at the right edge.
struct HillLandscapeState {
    std::vector<double> ridges;  // heights 0 to 1, oldest first
    double score = 0;            // the week's strain; above 0.6 the hills fill heavier
};

// The ridge line and its filled ground for `size`, and where today's marker sits.
struct HillGeometry {
    QPainterPath fill;
    QPainterPath line;
    QPointF todayDot;
};

// Drawn in `canvas`; the today marker, centred on the right edge, reaches 3 points past it.
void paintHillLandscape(QPainter& painter, const QRectF& canvas, const HillLandscapeState& state);

// Laid out with ViewBuilding::addWithBleed(layout, hills, kBleed): the widget is its slot plus
// the bleed all round, and draws the hills in the slot.
class HillLandscape : public QWidget {
    Q_OBJECT
public:
    // The hills always show this many days.
    static constexpr int kDays = 7;
    // How far the today marker reaches past the drawing's edges.
    static constexpr int kBleed = 4;

    explicit HillLandscape(QWidget* parent = nullptr);

    static HillGeometry geometry(const QSizeF& size, const std::vector<double>& ridges);

    void setWeek(const std::vector<AgentSummary::DayMark>& week, double score);
    const HillLandscapeState& state() const { return state_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    HillLandscapeState state_;
};

}  // namespace quillfen
