#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "Stone/StoneIdentity.h"
#include "Support/Clock.h"
#include "UI/LivingWindowView.h"
#include "UI/MenuBarGlyph.h"

namespace quillfen {

class InspectModel;
class MirrorModel;

// The sheets a developer asks for to look at several surfaces at once: each is one widget of
// the real views side by side, captioned, to be rendered into a picture. Every view on a sheet
// draws itself; the sheet only arranges and labels them.
namespace DeveloperSheets {

// The tray's glyph three times, asleep, with something to say and stale, each captioned, on
// paper.
QWidget* glyphs(const StoneIdentity& identity);

// One desktop pane in a cell of its own, from a model of its own.
struct PaneCell {
    QString label;
    double score = 0;
    bool aggravated = false;
    QString ceilingLine;
    // What the pane reads of the mirror of the week; none for a pane on its own.
    std::optional<PaneMirror> mirror;
};

// The panes in rows, each pane standing at the bottom right of its cell with its label and
// its geometry's figures under it, on the grey backdrop. A cell grows to the largest pane's
// frame when that is larger than `cell`, so no pane is cut.
QWidget* livingPanes(const std::vector<std::vector<PaneCell>>& rows, const StoneIdentity& identity, QSizeF cell);

// Every live surface on one sheet: the mirror, the desktop pane three times, the tray's glyph
// (enlarged, at its size and all twelve stones) and the settings.
struct Surfaces {
    MirrorModel& mirror;
    InspectModel& inspect;
    Clock now;
    StoneIdentity identity;
    // Gathered, at its floor and aggravated.
    std::vector<PaneCell> panes;
    // The tray's glyph as the tray shows it now.
    GlyphState glyph;
};
QWidget* surfaces(const Surfaces& parts);

// The twelve stones of the art library, in its order.
std::vector<StoneIdentity> allStones();

}  // namespace DeveloperSheets

}  // namespace quillfen
