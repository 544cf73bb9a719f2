#pragma once

#include <QPainter>
#include <QRectF>

namespace quillfen {

// The application's icon: the stone's glyph with its calm face, as large as a square holds
// with a sixteenth kept clear on every side. The menu, the launcher and the window switcher
// show it at every size, so it is drawn, never scaled from a bitmap.
void paintAppIcon(QPainter& painter, const QRectF& square);

}  // namespace quillfen
