#include "UI/HillLandscape.h"

#include <QPen>

#include "UI/Render.h"
#include "UI/Theme.h"
#include "UI/WeekLandscape.h"

namespace quillfen {

namespace {

constexpr qreal kHeight = 96;

}  // namespace

HillGeometry HillLandscape::geometry(const QSizeF& size, const std::vector<double>& ridges) {
    const qreal w = size.width();
    const qreal h = size.height();
    const std::size_t n = ridges.size();
    const qreal step = n >= 2 ? w / static_cast<qreal>(n - 1) : w;
    const qreal base = 0.94 * h;
    const qreal top = 0.1 * h;
    auto y = [&](double v) { return base - (base - top) * v; };

    HillGeometry g;
    if (n == 0) return g;
    g.line.moveTo(0, y(ridges[0]));
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const qreal mid = step * (static_cast<qreal>(i) + 0.5);
        g.line.cubicTo(mid, y(ridges[i]), mid, y(ridges[i + 1]), step * static_cast<qreal>(i + 1), y(ridges[i + 1]));
    }
    g.fill = g.line;
    g.fill.lineTo(w, h);
    g.fill.lineTo(0, h);
    g.fill.closeSubpath();
    g.todayDot = QPointF(step * static_cast<qreal>(n - 1), y(ridges[n - 1]));
    return g;
}

void paintHillLandscape(QPainter& painter, const QRectF& canvas, const HillLandscapeState& state) {
    const HillGeometry g = HillLandscape::geometry(canvas.size(), state.ridges);
    if (state.ridges.empty()) return;
    painter.save();
    painter.translate(canvas.topLeft());
    painter.fillPath(g.fill, state.score > 0.6 ? Theme::hillFillHeavy() : Theme::hillFill());
    painter.setPen(QPen(Theme::mossSoft(), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(g.line);
    // The marker is a 6-point circle whose 1.5 line is drawn inside its frame.
    painter.setPen(QPen(Theme::ember(), 1.5));
    painter.drawEllipse(g.todayDot, 3 - 0.75, 3 - 0.75);
    painter.restore();
}

HillLandscape::HillLandscape(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("hills"));
    setAttribute(Qt::WA_TranslucentBackground, true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    state_.ridges = WeekLandscape::ridges(std::vector<AgentSummary::DayMark>{}, kDays);
}

QSize HillLandscape::sizeHint() const {
    return {200, static_cast<int>(kHeight)};
}

void HillLandscape::setWeek(const std::vector<AgentSummary::DayMark>& week, double score) {
    HillLandscapeState next{WeekLandscape::ridges(week, kDays), score};
    if (next.ridges == state_.ridges && next.score == state_.score) return;
    state_ = std::move(next);
    update();
}

void HillLandscape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintHillLandscape(painter, QRectF(rect()).adjusted(kBleed, kBleed, -kBleed, -kBleed), state_);
}

}  // namespace quillfen
