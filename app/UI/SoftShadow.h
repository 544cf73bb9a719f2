#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace quillfen {

// A soft drop shadow under a shape, as a blurred image of the shape's silhouette. The blur
// radius is in points (about twice the Gaussian deviation, as design tools mean it). Shapes
// repeat from frame to frame, so the last few blurred images are kept.
void drawSoftShadow(QPainter& painter, const QPainterPath& shape, const QColor& colour, qreal radius, QPointF offset);

}  // namespace quillfen
