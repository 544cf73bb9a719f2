#include "UI/ParagraphLabel.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

#include "UI/Render.h"

namespace quillfen {

namespace {

// Lays the text out at `width`; `draw` hears each line with its top.
template <typename Draw>
qreal layOut(const ParagraphState& s, qreal width, Draw&& draw) {
    QTextLayout layout(s.text, s.font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    bool first = true;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max<qreal>(1, width));
        if (!first) y += s.lineSpacing;
        first = false;
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    draw(layout);
    return y;
}

}  // namespace

qreal paragraphHeight(const ParagraphState& state, qreal width) {
    if (state.text.isEmpty()) return 0;
    return layOut(state, width, [](QTextLayout&) {});
}

qreal paragraphNaturalWidth(const ParagraphState& state) {
    QTextLayout layout(state.text, state.font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(1e6);
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return widest;
}

void paintParagraph(QPainter& painter, const QRectF& box, const ParagraphState& state) {
    if (state.text.isEmpty() || !(state.opacity > 0)) return;
    painter.save();
    painter.setOpacity(painter.opacity() * std::min(1.0, state.opacity));
    painter.setPen(state.colour);
    layOut(state, box.width(), [&](QTextLayout& layout) { layout.draw(&painter, box.topLeft()); });
    painter.restore();
}

void holdWrappedHeight(QWidget& view) {
    if (!view.isVisible() || !view.hasHeightForWidth()) return;
    view.setMinimumHeight(view.heightForWidth(view.width()));
}

ParagraphLabel::ParagraphLabel(const QString& text, const QFont& font, const QColor& colour, qreal lineSpacing,
                               QWidget* parent)
    : QWidget(parent), state_{text, font, colour, lineSpacing, 1.0} {
    QWidget::setFont(font);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAttribute(Qt::WA_TranslucentBackground, true);
    // Checks of what fits find a wrapping text by this mark, as they find a QLabel by its class.
    setProperty("paragraph", true);
}

void ParagraphLabel::setText(const QString& text) {
    if (text == state_.text) return;
    state_.text = text;
    updateGeometry();
    update();
}

void ParagraphLabel::setColour(const QColor& colour) {
    if (colour == state_.colour) return;
    state_.colour = colour;
    update();
}

void ParagraphLabel::setOpacity(double opacity) {
    if (opacity == state_.opacity) return;
    state_.opacity = opacity;
    update();
}

int ParagraphLabel::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(paragraphHeight(state_, width)));
}

QSize ParagraphLabel::sizeHint() const {
    int width = static_cast<int>(std::ceil(paragraphNaturalWidth(state_)));
    return {width, heightForWidth(width)};
}

QSize ParagraphLabel::minimumSizeHint() const {
    // Narrow enough that a long line wraps instead of widening its column.
    return {0, heightForWidth(static_cast<int>(std::ceil(paragraphNaturalWidth(state_))))};
}

void ParagraphLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    prepare(painter);
    paintParagraph(painter, QRectF(rect()), state_);
}

void ParagraphLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        state_.font = font();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

}  // namespace quillfen
