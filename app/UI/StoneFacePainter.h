#pragma once

#include <QColor>
#include <QPainter>
#include <QPointF>

#include "UI/StoneFace.h"

namespace quillfen {

// The stone's eyes for one expression, drawn at the drawing's two eye points and zoomed about
// their midpoint. Line marks keep `lineWidth` whatever the zoom.
struct StoneFacePainter {
    QPointF left;
    QPointF right;
    QColor ink;
    qreal scale = 1;
    qreal lineWidth = 1;
    // A small light highlight on round eyes.
    bool glint = false;

    void draw(QPainter& painter, StoneFace face) const;
};

}  // namespace quillfen
