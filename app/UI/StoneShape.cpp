#include "UI/StoneShape.h"

#include <QPen>
#include <algorithm>
#include <map>
#include <string>

#include "UI/StoneFacePainter.h"
#include "UI/Theme.h"

namespace quillfen {

const QColor& stoneSpeck() {
    static const QColor c = QColor::fromRgb(180, 93, 61);
    return c;
}

const std::vector<StonePathCommand>& drawingCommands(const StoneArt& art) {
    // Main thread only, as all drawing is; a handful of entries at most.
    static std::map<std::string, std::vector<StonePathCommand>> parsed;
    auto it = parsed.find(art.path);
    if (it == parsed.end()) it = parsed.emplace(art.path, art.commands()).first;
    return it->second;
}

QPainterPath stonePath(const std::vector<StonePathCommand>& commands, const std::function<QPointF(StonePoint)>& map) {
    QPainterPath path;
    for (const auto& c : commands) {
        switch (c.kind) {
        case StonePathCommand::Kind::move: path.moveTo(map(c.to)); break;
        case StonePathCommand::Kind::line: path.lineTo(map(c.to)); break;
        case StonePathCommand::Kind::curve: path.cubicTo(map(c.c1), map(c.c2), map(c.to)); break;
        case StonePathCommand::Kind::close: path.closeSubpath(); break;
        }
    }
    return path;
}

void paintStoneShape(QPainter& painter, const QRectF& canvas, const StoneShapeState& state) {
    // The larger surfaces look the drawing up without announcing a fall-back.
    auto exact = StoneArtLibrary::exactArt(state.identity);
    const StoneArt& art = exact ? *exact : StoneArtLibrary::fallbackArt();
    const qreal u = canvas.width() / StoneArt::boxWidth;
    const QPointF origin = canvas.topLeft();
    auto map = [&](StonePoint p) { return origin + QPointF(p.x * u, p.y * u); };

    QPainterPath path = stonePath(drawingCommands(art), map);
    path.setFillRule(Qt::WindingFill);

    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::stoneColour(art.fill));
    painter.drawPath(path);

    QPen edge(Theme::stoneColour(art.edge), 3 * u, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
    edge.setMiterLimit(10);
    painter.setPen(edge);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);

    // The speck sits by the drawn outline's bounds, not by the drawing box.
    QRectF bounds = path.boundingRect();
    const qreal r = 2.7 * u;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::faded(stoneSpeck(), 0.85));
    painter.drawEllipse(QPointF(bounds.left() + 0.18 * bounds.width(), bounds.top() + 0.72 * bounds.height()), r, r);
    painter.restore();

    if (art.eyes.size() == 2) {
        const qreal k = std::clamp<qreal>(95.0 / state.width, 1.0, 1.6);
        StoneFacePainter face{map(art.eyes[0]), map(art.eyes[1]), Theme::stoneColour(art.face), k, 5 * u * k,
                              state.width >= 64};
        face.draw(painter, state.face);
    }
}

}  // namespace quillfen
