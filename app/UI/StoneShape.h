#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <functional>

#include "Stone/StoneArt.h"
#include "Stone/StoneIdentity.h"
#include "UI/StoneFace.h"

namespace quillfen {

// The stone as the larger surfaces draw it, still: body, outline, speck and face.
struct StoneShapeState {
    StoneFace face = StoneFace::calm;
    StoneIdentity identity = StoneIdentity::fallback();
    // The view's width in points; its height is two thirds of it. The face's zoom and glint go
    // by this, not by the canvas.
    qreal width = 150;
};

// The rust speck every stone carries.
const QColor& stoneSpeck();

// Draws into `canvas`, whose width maps the 180 x 120 drawing box.
void paintStoneShape(QPainter& painter, const QRectF& canvas, const StoneShapeState& state);

// A drawing's commands, parsed once per drawing: surfaces redraw their stone many times a minute,
// and the twelve drawings never change.
const std::vector<StonePathCommand>& drawingCommands(const StoneArt& art);

// A drawing's commands as a path, each point mapped.
QPainterPath stonePath(const std::vector<StonePathCommand>& commands, const std::function<QPointF(StonePoint)>& map);

}  // namespace quillfen
