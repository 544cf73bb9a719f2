#include "UI/DeveloperSheets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "Stone/StoneArt.h"
#include "UI/InspectModel.h"
#include "UI/LivingWindowModel.h"
#include "UI/MirrorModel.h"
#include "UI/MirrorPanel.h"
#include "UI/Render.h"
#include "UI/SettingsModel.h"
#include "UI/SettingsView.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen::DeveloperSheets {

namespace {

constexpr int kInset = 30;
constexpr int kCaptionGap = 6;
constexpr qreal kGlyphHeight = 44;
constexpr int kGlyphSpacing = 40;
constexpr int kPaneRowSpacing = 20;
constexpr int kPaneColumnSpacing = 20;
constexpr int kSectionSpacing = 28;
constexpr QSizeF kSheetPaneCell(320, 210);
constexpr qreal kRealGlyphHeight = 13;
constexpr qreal kLibraryGlyphHeight = 22;
constexpr int kMirrorWidth = 480;

QWidget* sheet(const QColor& background) {
    auto* widget = new QWidget;
    widget->setObjectName(QStringLiteral("sheet"));
    ViewBuilding::fill(widget, background);
    return widget;
}

QLabel* caption(const char* name, const QString& text, double px) {
    return ViewBuilding::label(name, Theme::sans(px), Theme::ink3(), false, text);
}

QLabel* figures(const QString& text) {
    return ViewBuilding::label("figures", Theme::mono(9), Theme::ink3(), false, text);
}

// A drawing over its caption, both at the leading edge.
QWidget* captioned(QWidget* drawing, QWidget* caption, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kCaptionGap);
    layout->addWidget(drawing, 0, alignment);
    layout->addWidget(caption, 0, alignment);
    return holder;
}

QWidget* glyph(const GlyphState& state) {
    auto* widget = new DrawingWidget([state](QPainter& painter, const QRectF& box) { paintGlyph(painter, box, state); });
    widget->setObjectName(QStringLiteral("glyph"));
    widget->setFixedSize(glyphSize(state.identity, state.height).toSize().grownBy({1, 0, 1, 0}));
    return widget;
}

GlyphState glyphAt(GlyphState state, qreal height) {
    state.height = height;
    return state;
}

// The pane from a model of its own, which it keeps.
LivingWindowView* pane(const PaneCell& cell, const StoneIdentity& identity) {
    auto* model = new LivingWindowModel(identity);
    model->setScore(cell.score);
    model->setAggravated(cell.aggravated);
    model->setCeilingLine(cell.ceilingLine);
    auto* view = new LivingWindowView(*model, {});
    // Freed after the view's own members, which still read it.
    model->setParent(view);
    view->setMirror(cell.mirror);
    view->setFixedSize(view->sizeHint());
    return view;
}

// The pane at the bottom right of its cell.
QWidget* paneCell(LivingWindowView* view, QSize cell) {
    auto* holder = new QWidget;
    holder->setObjectName(QStringLiteral("cell"));
    holder->setFixedSize(cell);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view, 0, Qt::AlignRight | Qt::AlignBottom);
    return holder;
}

QSize grownToPanes(const std::vector<LivingWindowView*>& views, QSizeF cell) {
    QSize size(static_cast<int>(std::ceil(cell.width())), static_cast<int>(std::ceil(cell.height())));
    for (const auto* view : views) size = size.expandedTo(view->size());
    return size;
}

QString paneFigures(const PaneCell& cell) {
    const auto geometry = LivingWindow::geometry(cell.score, cell.aggravated);
    return QString::asprintf("%.2f \u00b7 %.0fpt \u00b7 %.2f\u03b1", cell.score, geometry.width, geometry.opacity);
}

}  // namespace

std::vector<StoneIdentity> allStones() {
    std::vector<StoneIdentity> stones;
    for (const StoneArt& art : StoneArtLibrary::all()) {
        auto identity = StoneIdentity::make(StoneIdentity::currentSchemaVersion,
                                            std::string(toString(art.material)) + "-" + art.seed, art.material,
                                            pairedTemperament(art.material), art.seed,
                                            StoneIdentity::currentShapeRevision);
        if (identity) stones.push_back(std::move(*identity));
    }
    return stones;
}

QWidget* glyphs(const StoneIdentity& identity) {
    struct Column {
        const char* caption;
        bool hasSomethingToSay;
        bool stale;
    };
    static constexpr Column kColumns[] = {{"asleep", false, false}, {"ask", true, false}, {"stale", false, true}};
    QWidget* root = sheet(Theme::paper());
    auto* row = new QHBoxLayout(root);
    row->setContentsMargins(kInset, kInset, kInset, kInset);
    row->setSpacing(kGlyphSpacing);
    for (const Column& column : kColumns) {
        GlyphState state;
        state.identity = identity;
        state.face = StoneFace::calm;
        state.height = kGlyphHeight;
        state.stale = column.stale;
        // The fades as a glyph made in that state starts them.
        state.openOpacity = column.hasSomethingToSay ? 1 : 0;
        state.staleOpacity = column.stale ? 1 : 0;
        row->addWidget(captioned(glyph(state), caption("caption", QString::fromLatin1(column.caption), 12),
                                 Qt::AlignHCenter),
                       0, Qt::AlignTop);
    }
    return root;
}

QWidget* livingPanes(const std::vector<std::vector<PaneCell>>& rows, const StoneIdentity& identity, QSizeF cell) {
    QWidget* root = sheet(Theme::backdrop());
    auto* grid = new QGridLayout(root);
    grid->setContentsMargins(kInset, kInset, kInset, kInset);
    grid->setHorizontalSpacing(kPaneColumnSpacing);
    grid->setVerticalSpacing(kPaneRowSpacing);
    std::vector<std::vector<LivingWindowView*>> views;
    std::vector<LivingWindowView*> all;
    for (const auto& row : rows) {
        views.emplace_back();
        for (const PaneCell& paneCell : row) {
            views.back().push_back(pane(paneCell, identity));
            all.push_back(views.back().back());
        }
    }
    // Every cell as wide as the widest pane, and each row as tall as its tallest.
    const int width = grownToPanes(all, cell).width();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QSize size(width, grownToPanes(views[r], cell).height());
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            auto* holder = new QWidget;
            auto* layout = new QVBoxLayout(holder);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSpacing(0);
            layout->addWidget(paneCell(views[r][c], size));
            layout->addSpacing(kCaptionGap);
            layout->addWidget(caption("label", rows[r][c].label, 11));
            layout->addSpacing(2);
            layout->addWidget(figures(paneFigures(rows[r][c])));
            grid->addWidget(holder, static_cast<int>(r), static_cast<int>(c), Qt::AlignLeft | Qt::AlignTop);
        }
    }
    return root;
}

QWidget* surfaces(const Surfaces& parts) {
    QWidget* root = sheet(Theme::backdrop());
    auto* columns = new QHBoxLayout(root);
    columns->setContentsMargins(kInset, kInset, kInset, kInset);
    columns->setSpacing(kSectionSpacing);

    auto* mirror = new MirrorPanelContent(parts.mirror, parts.inspect, {}, parts.now);
    // On the paper of its window.
    ViewBuilding::fill(mirror, Theme::paper());
    layOutAtWidth(*mirror, kMirrorWidth);
    columns->addWidget(captioned(mirror, caption("caption", QStringLiteral("your rhythm"), 11)), 0, Qt::AlignTop);

    auto* right = new QVBoxLayout;
    right->setSpacing(kSectionSpacing);
    columns->addLayout(right);

    std::vector<LivingWindowView*> panes;
    for (const PaneCell& cell : parts.panes) panes.push_back(pane(cell, parts.identity));
    const QSize cell = grownToPanes(panes, kSheetPaneCell);
    auto* paneRow = new QHBoxLayout;
    paneRow->setSpacing(kPaneColumnSpacing);
    for (std::size_t i = 0; i < panes.size(); ++i)
        paneRow->addWidget(captioned(paneCell(panes[i], cell), caption("caption", parts.panes[i].label, 11)));
    paneRow->addStretch(1);
    right->addLayout(paneRow);

    auto* glyphRow = new QWidget;
    auto* glyphLayout = new QHBoxLayout(glyphRow);
    glyphLayout->setContentsMargins(0, 0, 0, 0);
    glyphLayout->setSpacing(16);
    glyphLayout->addWidget(glyph(glyphAt(parts.glyph, kGlyphHeight)), 0, Qt::AlignVCenter);
    glyphLayout->addWidget(glyph(glyphAt(parts.glyph, kRealGlyphHeight)), 0, Qt::AlignVCenter);
    for (const StoneIdentity& stone : allStones()) {
        GlyphState state = glyphAt(parts.glyph, kLibraryGlyphHeight);
        state.identity = stone;
        glyphLayout->addWidget(glyph(state), 0, Qt::AlignVCenter);
    }
    right->addWidget(captioned(glyphRow, caption("caption", QStringLiteral("menu bar (zoom + real + all twelve)"), 11)));
    right->addWidget(captioned(glyph(glyphAt(parts.glyph, kRealGlyphHeight)),
                               caption("caption", QStringLiteral("menu bar, real 13pt"), 11)));

    auto* settingsModel = new SettingsModel;
    auto* settings = new SettingsView(*settingsModel);
    settingsModel->setParent(settings);
    settings->setFixedSize(settings->sizeHint());
    right->addWidget(captioned(settings, caption("caption", QStringLiteral("settings"), 11)));
    right->addStretch(1);
    return root;
}

}  // namespace quillfen::DeveloperSheets
