#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "UI/TextBlock.h"

namespace quillfen {

// Keeps a view of fixed width at least as tall as its wrapped texts need at that width; views
// call it when shown and on every layout request. Qt gives a window the minimum its layout
// reports, where a wrapping text counts as one line, and clamps a window's first size to two
// thirds of its screen: a short screen, or a host window smaller than the texts, would squeeze
// them into each other. Hidden, a view is left alone: the heights Qt keeps for the widgets
// inside it are brought up to date only once they show.
void holdWrappedHeight(QWidget& view);

// A text block made in one line: its text, font, colour and the extra space between its lines.
// It wraps to the height it needs and never truncates.
class ParagraphLabel : public TextBlock {
    Q_OBJECT
public:
    ParagraphLabel(const QString& text, const QFont& font, const QColor& colour, qreal lineSpacing = 0,
                   QWidget* parent = nullptr);
};

}  // namespace quillfen
