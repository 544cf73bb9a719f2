#include "UI/ViewBuilding.h"

#include <QFontMetrics>
#include <QPalette>
#include <QScrollBar>
#include <QWidgetItem>
#include <algorithm>
#include <cmath>

#include "UI/ExactText.h"
#include "UI/Theme.h"

namespace quillfen::ViewBuilding {

namespace {

// A layout slot whose widget is laid out larger than the slot by the same margin all round.
class BleedItem : public QWidgetItem {
public:
    BleedItem(QWidget* widget, int bleed) : QWidgetItem(widget), bleed_(bleed) {}
    void setGeometry(const QRect& rect) override {
        if (!isEmpty()) widget()->setGeometry(rect.adjusted(-bleed_, -bleed_, bleed_, bleed_));
    }
    QRect geometry() const override { return widget()->geometry().adjusted(bleed_, bleed_, -bleed_, -bleed_); }

private:
    int bleed_;
};

}  // namespace

void setColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QColor colourOf(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

QLabel* label(const char* objectName, const QFont& font, const QColor& colour, bool wraps, const QString& text) {
    auto* l = new ExactLabel(text);
    l->setObjectName(QString::fromLatin1(objectName));
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    setColour(l, colour);
    if (wraps) {
        l->setWordWrap(true);
        // Lines start at the top: a row taller than the text never centres it.
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    return l;
}

QFont tracked(QFont font, double tracking) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

QPushButton* plainButton(const char* objectName, const QString& text, const QFont& font, const QColor& colour,
                         std::function<void()> action) {
    auto* b = new ExactPushButton(text);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setFont(font);
    b->setFlat(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setFocusPolicy(Qt::TabFocus);
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; margin: 0px; background: transparent; }"));
    setColour(b, colour);
    QObject::connect(b, &QPushButton::clicked, b, [action = std::move(action)] {
        if (action) action();
    });
    return b;
}

QWidget* padded(QWidget* child, QMargins padding) {
    auto* holder = new QWidget;
    holder->setObjectName(child->objectName() + QStringLiteral("Holder"));
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(padding);
    layout->setSpacing(0);
    layout->addWidget(child);
    return holder;
}

QWidget* hairline(Qt::Orientation orientation) {
    auto* rule = new QWidget;
    fill(rule, Theme::line());
    if (orientation == Qt::Horizontal) {
        rule->setFixedHeight(1);
        rule->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        rule->setFixedWidth(1);
    }
    return rule;
}

void fill(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QScrollArea* scrollArea(QWidget* content, const QColor& background) {
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    fill(content, background);
    scroll->setWidget(content);
    fill(scroll->viewport(), background);
    // A slim bar in the hairline colour, without arrows: the content, not the bar, is the window.
    scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 8px; background: transparent; margin: 2px 1px 2px 1px; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 24px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(Theme::line().name()));
    return scroll;
}

int descentOf(const QWidget* widget) {
    const Theme::DrawnFont drawn = Theme::drawnFont(widget->font());
    return static_cast<int>(std::lround(QFontMetrics(drawn.font).descent() * drawn.scale));
}

void alignBaselines(std::initializer_list<QLabel*> labels) {
    int deepest = 0;
    for (QLabel* l : labels) deepest = std::max(deepest, descentOf(l));
    for (QLabel* l : labels) {
        l->setContentsMargins(0, 0, 0, deepest - descentOf(l));
        l->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    }
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int spacing, Qt::Alignment alignment) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* w : widgets) {
        if (w == nullptr) {
            layout->addStretch(1);
        } else {
            layout->addWidget(w, 0, alignment);
        }
    }
    return layout;
}

void addWithBleed(QBoxLayout* layout, QWidget* widget, int bleed) {
    if (layout->parentWidget() != nullptr) widget->setParent(layout->parentWidget());
    layout->addItem(new BleedItem(widget, bleed));
}

}  // namespace quillfen::ViewBuilding
