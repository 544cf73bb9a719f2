#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QTextDocument>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace quillfen {

// Text that wraps at word boundaries, and inside a word only when the word alone is wider than
// its line, so that words a user typed can never widen a window. Lines are `lineSpacing`
// apart beyond the font's own height.
struct TextBlockState {
    struct Run {
        QString text;
        // Absent: the block's colour.
        std::optional<QColor> colour;
        bool underline = false;
        bool operator==(const Run&) const = default;
    };
    std::vector<Run> runs;
    QFont font;
    QColor colour;
    qreal lineSpacing = 0;
    Qt::Alignment alignment = Qt::AlignLeft;
    // The whole text's own opacity, so a fading line needs no effect of its own.
    double opacity = 1;

    QString plainText() const;
};

// The text laid out `width` wide (negative: unwrapped); the layout's height includes one
// line spacing below the last line, which `textHeight` leaves out.
// A half-pixel font is laid out at twice its size (see Theme::drawnFont), in units
// `laidOutScale` of a point each.
std::unique_ptr<QTextDocument> layoutText(const TextBlockState& state, qreal width);
qreal laidOutScale(const TextBlockState& state);
qreal textHeight(const QTextDocument& laidOut, const TextBlockState& state);

void paintTextBlock(QPainter& painter, const QRectF& box, const TextBlockState& state);

// The widget around a text block: its font is the widget's font and its colour the palette's
// window text, so it reads like a label; its height follows its width.
class TextBlock : public QWidget {
    Q_OBJECT

public:
    explicit TextBlock(QWidget* parent = nullptr);

    void setText(const QString& text);
    void setRuns(std::vector<TextBlockState::Run> runs);
    const std::vector<TextBlockState::Run>& runs() const { return state_.runs; }
    QString text() const { return state_.plainText(); }
    void setColour(const QColor& colour);
    QColor colour() const;
    void setLineSpacing(qreal spacing);
    qreal lineSpacing() const { return state_.lineSpacing; }
    void setAlignment(Qt::Alignment alignment);
    void setOpacity(double opacity);
    double opacity() const { return state_.opacity; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TextBlockState current() const;
    void changedText();

    TextBlockState state_;
    // Layouts ask often and text changes rarely: the last answers are kept until it changes.
    mutable int measuredWidth_ = -2;
    mutable int measuredHeight_ = 0;
    mutable std::optional<QSize> idealSize_;
};

}  // namespace quillfen
