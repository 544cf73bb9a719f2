#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "UI/LivingWindowView.h"
#include "UI/MenuBarGlyph.h"
#include "UI/Render.h"
#include "UI/StoneBeing.h"

namespace quillfen {
namespace {

// The tray icon as the tray asks for it: a square of `pixels`, the glyph fitted inside.
void BM_TrayGlyph(benchmark::State& state) {
    bench::ensureApplication();
    const qreal pixels = static_cast<qreal>(state.range(0));
    GlyphState glyph;
    glyph.openOpacity = 0.5;
    glyph.height = glyphHeightFitting(glyph.identity, {pixels, pixels});
    for (auto _ : state) {
        QImage image = renderToImage({pixels, pixels}, 1, [&](QPainter& p, const QRectF& r) { paintGlyph(p, r, glyph); });
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_TrayGlyph)->Arg(22)->Arg(44)->Unit(benchmark::kMicrosecond);

// One frame of a breathing stone, 150 points wide, on a 2x screen.
void BM_StoneFrame(benchmark::State& state) {
    bench::ensureApplication();
    StoneBeingState stone;
    stone.shape.width = 150;
    stone.breathScale = 1.004;
    stone.breathOpacity = 0.9;
    QImage image(QSize(300, 200), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        prepare(painter);
        paintStoneBeing(painter, QRectF(0, 0, 150, 100), stone);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_StoneFrame)->Unit(benchmark::kMicrosecond);

// One full repaint of the desktop pane at the top of the week, with its line, on a 2x screen.
void BM_PaneRepaint(benchmark::State& state) {
    bench::ensureApplication();
    LivingWindowModel model(StoneIdentity::fallback());
    model.setScore(0.9);
    model.setCeilingLine("Another long afternoon building, three already behind you this week.");
    LivingWindowView view(model, {});
    const LivingPaneState pane = view.state();
    QImage image(QSize(static_cast<int>(pane.frameWidth), static_cast<int>(pane.frameHeight)) * 2,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        prepare(painter);
        paintLivingPane(painter, QRectF(0, 0, pane.frameWidth, pane.frameHeight), pane);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaneRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quillfen
