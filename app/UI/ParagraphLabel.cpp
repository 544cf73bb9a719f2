#include "UI/ParagraphLabel.h"

namespace quillfen {

void holdWrappedHeight(QWidget& view) {
    if (!view.isVisible() || !view.hasHeightForWidth()) return;
    view.setMinimumHeight(view.heightForWidth(view.width()));
}

ParagraphLabel::ParagraphLabel(const QString& text, const QFont& font, const QColor& colour, qreal lineSpacing,
                               QWidget* parent)
    : TextBlock(parent) {
    setFont(font);
    setColour(colour);
    setLineSpacing(lineSpacing);
    setText(text);
    setAttribute(Qt::WA_TranslucentBackground, true);
    // Checks of what fits find a wrapping text by this mark, as they find a QLabel by its class.
    setProperty("paragraph", true);
}

}  // namespace quillfen
