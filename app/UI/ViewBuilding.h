#pragma once

#include <QBoxLayout>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QMargins>
#include <QPushButton>
#include <QScrollArea>
#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// The few ways the windows' widgets are made, so that every text, colour and padding is set
// the same way and a test reads them back the same way.
namespace quillfen::ViewBuilding {

inline QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A text's colour; tests read it back from the palette's WindowText (ButtonText for buttons).
void setColour(QWidget* widget, const QColor& colour);
QColor colourOf(const QWidget* widget);

// A label named after what it shows. A wrapping label grows downward, never sideways.
QLabel* label(const char* objectName, const QFont& font, const QColor& colour, bool wraps = false,
              const QString& text = {});

// Letter tracking in points.
QFont tracked(QFont font, double tracking);

// A plain text button: only its label shows, and a click runs `action`.
QPushButton* plainButton(const char* objectName, const QString& text, const QFont& font, const QColor& colour,
                         std::function<void()> action);

// `child` inside a holder that carries its padding; hiding the holder takes the padding away too.
QWidget* padded(QWidget* child, QMargins padding);

// A one-point rule in the hairline colour.
QWidget* hairline(Qt::Orientation orientation = Qt::Horizontal);

// A widget filled with `colour`, for window and scroll backgrounds.
void fill(QWidget* widget, const QColor& colour);

// A scroll view over `content`, vertical only, on `background`.
QScrollArea* scrollArea(QWidget* content, const QColor& background);

// How far a widget's text reaches below its baseline, in whole points, as it is drawn.
int descentOf(const QWidget* widget);

// Labels in one row, bottom-aligned, padded below so that their first lines share a baseline.
void alignBaselines(std::initializer_list<QLabel*> labels);

// A horizontal row of `widgets` with flexible space where a null entry stands.
QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int spacing, Qt::Alignment alignment = {});

// Lays `widget` into `layout` in the usual slot but lets its drawing reach `bleed` points past
// every edge of it, for marks that sit on the slot's border.
void addWithBleed(QBoxLayout* layout, QWidget* widget, int bleed);

}  // namespace quillfen::ViewBuilding
