#include "UI/AppIcon.h"

#include "UI/MenuBarGlyph.h"

namespace quillfen {

void paintAppIcon(QPainter& painter, const QRectF& square) {
    const qreal margin = square.width() / 16;
    const QRectF box = square.adjusted(margin, margin, -margin, -margin);
    GlyphState state;
    state.height = glyphHeightFitting(state.identity, box.size());
    paintGlyph(painter, box, state);
}

}  // namespace quillfen
