#include "UI/TextBlock.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextOption>

#include <algorithm>
#include <cmath>

#include "UI/ExactText.h"
#include "UI/Theme.h"

namespace quillfen {

QString TextBlockState::plainText() const {
    QString text;
    for (const Run& run : runs) text += run.text;
    return text;
}

std::unique_ptr<QTextDocument> layoutText(const TextBlockState& state, qreal width) {
    // Laid out in the drawn font's units: a half-pixel size at twice, to be drawn at a half.
    const Theme::DrawnFont drawn = Theme::drawnFont(state.font);
    auto doc = std::make_unique<QTextDocument>();
    doc->setDocumentMargin(0);
    doc->setDefaultFont(drawn.font);
    QTextOption option(state.alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc->setDefaultTextOption(option);

    QTextCursor cursor(doc.get());
    QTextBlockFormat block;
    block.setAlignment(state.alignment);
    block.setLineHeight(state.lineSpacing / drawn.scale, QTextBlockFormat::LineDistanceHeight);
    cursor.setBlockFormat(block);
    for (const auto& run : state.runs) {
        QTextCharFormat format;
        format.setFont(drawn.font);
        format.setForeground(run.colour.value_or(state.colour));
        format.setFontUnderline(run.underline);
        // A line break typed into a run stays inside the one paragraph.
        QString text = run.text;
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        cursor.insertText(text, format);
    }
    doc->setTextWidth(width < 0 ? width : width / drawn.scale);
    return doc;
}

qreal laidOutScale(const TextBlockState& state) {
    return Theme::drawnFont(state.font).scale;
}

qreal textHeight(const QTextDocument& laidOut, const TextBlockState& state) {
    const qreal height = laidOut.size().height() * laidOutScale(state);
    return height > state.lineSpacing ? height - state.lineSpacing : height;
}

void paintTextBlock(QPainter& painter, const QRectF& box, const TextBlockState& state) {
    if (state.runs.empty() || !(state.opacity > 0)) return;
    auto doc = layoutText(state, box.width());
    painter.save();
    painter.setOpacity(painter.opacity() * std::min(1.0, state.opacity));
    painter.translate(box.topLeft());
    const qreal scale = laidOutScale(state);
    painter.scale(scale, scale);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, state.colour);
    context.clip = QRectF(QPointF(0, 0), box.size() / scale);
    doc->documentLayout()->draw(&painter, context);
    painter.restore();
}

TextBlock::TextBlock(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TextBlock::setText(const QString& text) {
    setRuns({TextBlockState::Run{text, std::nullopt, false}});
}

void TextBlock::setRuns(std::vector<TextBlockState::Run> runs) {
    if (runs == state_.runs) return;
    state_.runs = std::move(runs);
    setAccessibleName(state_.plainText());
    changedText();
}

void TextBlock::setColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

QColor TextBlock::colour() const {
    return palette().color(QPalette::WindowText);
}

void TextBlock::setLineSpacing(qreal spacing) {
    if (spacing == state_.lineSpacing) return;
    state_.lineSpacing = spacing;
    changedText();
}

void TextBlock::setOpacity(double opacity) {
    if (opacity == state_.opacity) return;
    state_.opacity = opacity;
    update();
}

void TextBlock::setAlignment(Qt::Alignment alignment) {
    if (alignment == state_.alignment) return;
    state_.alignment = alignment;
    changedText();
}

TextBlockState TextBlock::current() const {
    TextBlockState s = state_;
    s.font = font();
    s.colour = colour();
    return s;
}

void TextBlock::changedText() {
    measuredWidth_ = -2;
    idealSize_.reset();
    updateGeometry();
    update();
}

int TextBlock::heightForWidth(int width) const {
    if (width != measuredWidth_) {
        TextBlockState s = current();
        measuredHeight_ = static_cast<int>(std::ceil(textHeight(*layoutText(s, width), s)));
        measuredWidth_ = width;
    }
    return measuredHeight_;
}

QSize TextBlock::sizeHint() const {
    if (!idealSize_) {
        TextBlockState s = current();
        auto doc = layoutText(s, -1);
        idealSize_ = QSize(static_cast<int>(std::ceil(doc->idealWidth() * laidOutScale(s))),
                           static_cast<int>(std::ceil(textHeight(*doc, s))));
    }
    return *idealSize_;
}

QSize TextBlock::minimumSizeHint() const {
    return {0, static_cast<int>(std::ceil(TextMetrics(font()).height()))};
}

void TextBlock::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    paintTextBlock(painter, QRectF(rect()), current());
}

void TextBlock::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) changedText();
}

}  // namespace quillfen
