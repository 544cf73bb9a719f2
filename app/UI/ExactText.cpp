#include "UI/ExactText.h"

#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextDocument>

#include "UI/TextBlock.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {

bool drawsItself(const QFont& font) {
    return Theme::drawnFont(font).scale == 1;
}

}  // namespace

TextMetrics::TextMetrics(const QFont& font) : TextMetrics(Theme::drawnFont(font)) {}

TextMetrics::TextMetrics(const Theme::DrawnFont& drawn) : metrics_(drawn.font), scale_(drawn.scale) {}

void drawExactText(QPainter& painter, const QRectF& box, int flags, const QString& text, const QFont& font) {
    const Theme::DrawnFont drawn = Theme::drawnFont(font);
    painter.save();
    painter.setFont(drawn.font);
    painter.translate(box.topLeft());
    painter.scale(drawn.scale, drawn.scale);
    painter.drawText(QRectF(0, 0, box.width() / drawn.scale, box.height() / drawn.scale), flags, text);
    painter.restore();
}

void ExactLabel::paintEvent(QPaintEvent* event) {
    const bool plain = textFormat() == Qt::PlainText || (textFormat() == Qt::AutoText && !Qt::mightBeRichText(text()));
    if (drawsItself(font()) || !plain || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QColor colour = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole());
    const QRectF box = QRectF(contentsRect()).marginsRemoved(QMarginsF(margin(), margin(), margin(), margin()));
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    if (!wordWrap()) {
        painter.setPen(colour);
        drawExactText(painter, box, static_cast<int>(align) | Qt::TextSingleLine, text(), font());
        return;
    }
    TextBlockState block;
    block.runs = {{text(), std::nullopt, false}};
    block.font = font();
    block.colour = colour;
    block.alignment = align & Qt::AlignHorizontal_Mask;
    const qreal height = textHeight(*layoutText(block, box.width()), block);
    qreal top = box.top();
    if (align & Qt::AlignBottom) top = box.bottom() - height;
    else if (align & Qt::AlignVCenter) top = box.center().y() - height / 2;
    paintTextBlock(painter, QRectF(box.left(), top, box.width(), height), block);
}

void ExactPushButton::paintEvent(QPaintEvent* event) {
    if (drawsItself(font())) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString label = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(option.palette.color(QPalette::ButtonText));
    drawExactText(painter, style()->subElementRect(QStyle::SE_PushButtonContents, &option, this),
                  Qt::AlignCenter | Qt::TextShowMnemonic, label, font());
}

}  // namespace quillfen
