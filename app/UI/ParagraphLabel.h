#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

namespace quillfen {

// A run of text as the views set it: one font, one colour, extra space between wrapped lines,
// and its own opacity (so a fading line needs no effect of its own).
struct ParagraphState {
    QString text;
    QFont font;
    QColor colour;
    qreal lineSpacing = 0;
    double opacity = 1;
};

// The height the text takes at `width`, wrapped at words (and inside a word too long for a line).
qreal paragraphHeight(const ParagraphState& state, qreal width);
// The width of the text set on one line.
qreal paragraphNaturalWidth(const ParagraphState& state);
void paintParagraph(QPainter& painter, const QRectF& box, const ParagraphState& state);

// Keeps a view of fixed width at least as tall as its wrapped texts need at that width; views
// call it when shown and on every layout request. Qt gives a window the minimum its layout
// reports, where a wrapping text counts as one line, and clamps a window's first size to two
// thirds of its screen: a short screen, or a host window smaller than the texts, would squeeze
// them into each other. Hidden, a view is left alone: the heights Qt keeps for the widgets
// inside it are brought up to date only once they show.
void holdWrappedHeight(QWidget& view);

// A text that wraps to the height it needs and never truncates.
class ParagraphLabel : public QWidget {
    Q_OBJECT
public:
    ParagraphLabel(const QString& text, const QFont& font, const QColor& colour, qreal lineSpacing = 0,
                   QWidget* parent = nullptr);

    const QString& text() const { return state_.text; }
    QColor colour() const { return state_.colour; }
    qreal lineSpacing() const { return state_.lineSpacing; }
    double opacity() const { return state_.opacity; }

    void setText(const QString& text);
    void setColour(const QColor& colour);
    void setOpacity(double opacity);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ParagraphState state_;
};

}  // namespace quillfen
