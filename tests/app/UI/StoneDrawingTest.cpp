#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "Log/DecisionLog.h"
#include "Stone/MenuBarStone.h"
#include "UI/LivingWindowView.h"
#include "UI/MenuBarGlyph.h"
#include "UI/PresenceView.h"
#include "UI/Render.h"
#include "UI/StoneBeing.h"
#include "UI/StoneFacePainter.h"
#include "UI/StoneShape.h"
#include "UI/StoneSurface.h"
#include "UI/Theme.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

constexpr qreal kScale = 4;

bool closeInRgba(QColor a, QColor b, int tolerance = 12) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

QColor at(const QImage& image, double x, double y) {
    return image.pixelColor(static_cast<int>(std::floor(x * kScale)), static_cast<int>(std::floor(y * kScale)));
}

StoneIdentity identity(StoneMaterial material, const char* seed) {
    return *StoneIdentity::make(1, std::string(toString(material)) + "-" + seed, material,
                                pairedTemperament(material), seed, 1);
}

TEST(StoneFacePainter, RoundEyesTakeTheirRadiiFromTheSpanAndDegenerateEyesKeepAUnitSize) {
    struct Case {
        QPointF left, right;
        double leftRadius, rightRadius;
    };
    // Span 25: radii 5 and 5.4. Span under 1 counts as 1: radii 0.2 and 0.216.
    for (const Case& c : {Case{{76, 58}, {101, 55}, 5, 5.4}, Case{{50, 50}, {50.5, 50}, 0.2, 0.216}}) {
        QImage image = renderToImage({120, 80}, kScale, [&](QPainter& p, const QRectF&) {
            StoneFacePainter{c.left, c.right, Qt::black, 1, 1, false}.draw(p, StoneFace::calm);
        });
        if (c.leftRadius < 1) {
            // Marks of unit size still leave a trace rather than vanishing.
            EXPECT_GT(at(image, c.left.x(), c.left.y()).alpha(), 0);
            continue;
        }
        EXPECT_EQ(at(image, c.left.x() + c.leftRadius - 0.4, c.left.y()).alpha(), 255);
        EXPECT_EQ(at(image, c.left.x() + c.leftRadius + 0.4, c.left.y()).alpha(), 0);
        EXPECT_EQ(at(image, c.right.x() + c.rightRadius - 0.4, c.right.y()).alpha(), 255);
        EXPECT_EQ(at(image, c.right.x() + c.rightRadius + 0.4, c.right.y()).alpha(), 0);
    }
}

TEST(StoneShape, TheFaceZoomAndGlintFollowTheViewsWidth) {
    const QColor glint = QColor::fromRgb(251, 247, 235);
    const StoneIdentity pebble = StoneIdentity::fallback();
    struct Case {
        qreal width;
        bool glints;
    };
    for (const Case& c : {Case{64, true}, Case{63, false}, Case{150, true}}) {
        SCOPED_TRACE(c.width);
        const qreal u = c.width / 180;
        const qreal k = std::clamp(95.0 / c.width, 1.0, 1.6);
        QImage image = renderToImage({c.width, c.width * 2 / 3}, kScale, [&](QPainter& p, const QRectF& r) {
            paintStoneShape(p, r, {StoneFace::calm, pebble, c.width});
        });
        // The glint of the left eye: scaled about the eyes' midpoint (88.5, 56.5), radius 5 k u.
        const double r = 0.2 * 25 * k * u;
        const double ex = (88.5 + (76 - 88.5) * k) * u, ey = (56.5 + (58 - 56.5) * k) * u;
        EXPECT_EQ(closeInRgba(at(image, ex + 0.1 * r, ey - 0.35 * r), glint, 20), c.glints);
    }
}

// A view's opacity belongs to the whole drawing: its shapes, drawn over one another, do not
// show through each other as they would if each were faded on its own.
TEST(Fading, EachSurfaceFadesItsStoneAsOneLayer) {
    StoneBeingState being;
    being.shape = {StoneFace::calm, StoneIdentity::fallback(), 110};
    being.breathOpacity = 0.72;
    LivingPaneState pane;
    pane.being = being;
    pane.being.shape.width = 88.704;
    pane.being.fadesWhileBreathing = false;
    pane.frameHeight = 88.704 * 2 / 3 + 86;
    pane.opacity = 0.8944;
    const struct {
        const char* name;
        double opacity;
        QSizeF size;
        PaintFunction paint;
    } cases[] = {
        {"stone", 0.72, {110, 110 * 2 / 3.0}, [&](QPainter& p, const QRectF& r) { paintStoneBeing(p, r, being); }},
        {"desktop pane", 0.8944, {258, pane.frameHeight},
         [&](QPainter& p, const QRectF& r) { paintLivingPane(p, r, pane); }},
        {"presence figure", 0.72, {46, 26},
         [](QPainter& p, const QRectF& r) { paintPresence(p, r, {0.5, 1, 46, false}, 1, 0.72); }},
    };
    for (const auto& c : cases) {
        const QImage image = renderToImage(c.size, 2, c.paint);
        int mostOpaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) mostOpaque = std::max(mostOpaque, qAlpha(image.pixel(x, y)));
        // Somewhere the drawing is whole, and nowhere more opaque than the layer is.
        EXPECT_NEAR(mostOpaque, c.opacity * 255, 1.5) << c.name;
    }
}

// The pebble drawing at height 44, where the layout puts its parts.
TEST(MenuBarGlyph, DrawsBodySpeckAndFaceWhereTheLayoutPutsThemAndFadesToAColdOutline) {
    const StoneIdentity pebble = StoneIdentity::fallback();
    const StoneArt art = StoneArtLibrary::fallbackArt();
    const MenuBarStoneLayout layout = MenuBarStone::layout(art, 44);
    const StonePoint speck = MenuBarStone::speckCentre(art, layout);
    const StonePoint eye = layout.point(art.eyes[0].x, art.eyes[0].y);
    // Below the eyes, inside the body.
    const StonePoint body = layout.point(100, 85);
    // The top of the outline, at the middle of the drawing's bounds.
    const StoneBox b = art.drawnBounds();
    const StonePoint top = layout.point(b.minX + b.width / 2, b.minY);

    struct Case {
        const char* name;
        GlyphState state;
        bool bodyFilled, speckShown, eyeInked;
        QColor outline;
    };
    const QColor edge = Theme::stoneColour(art.edge);
    const QColor fill = Theme::stoneColour(art.fill);
    // The speck at 0.85 over the body.
    const QColor speckOnBody = QColor::fromRgbF(0.85f * stoneSpeck().redF() + 0.15f * fill.redF(),
                                                0.85f * stoneSpeck().greenF() + 0.15f * fill.greenF(),
                                                0.85f * stoneSpeck().blueF() + 0.15f * fill.blueF());
    const Case cases[] = {
        {"calm", {pebble, StoneFace::calm, false, false, 0, 0, 44}, true, true, true, edge},
        {"stale", {pebble, StoneFace::calm, true, false, 0, 1, 44}, false, false, true, glyphColdGray()},
        {"stale with something to say", {pebble, StoneFace::calm, true, false, 1, 1, 44}, false, false, false, glyphColdGray()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image = renderToImage({layout.width, 44}, kScale, [&](QPainter& p, const QRectF& r) { paintGlyph(p, r, c.state); });
        EXPECT_EQ(closeInRgba(at(image, body.x, body.y), Theme::stoneColour(art.fill)), c.bodyFilled);
        EXPECT_EQ(closeInRgba(at(image, speck.x, speck.y), speckOnBody), c.speckShown);
        EXPECT_EQ(at(image, eye.x, eye.y).alpha() > 200, c.eyeInked);
        EXPECT_TRUE(closeInRgba(at(image, top.x, top.y + layout.strokeWidth / 4), c.outline, 40));
    }
    EXPECT_EQ(glyphSize(pebble, 44).width(), layout.width);
    EXPECT_NEAR(glyphHeightFitting(pebble, {22, 22}) / 22 * layout.width / 44 * 22, 22, 1e-9);
}

TEST(MenuBarGlyph, TheOpenFaceFadesInOnTheMenuBarCurveOrAtOnceUnderReduceMotion) {
    test::SteppedMotion motion;
    MenuBarGlyph glyph(motion.driver, false, false);
    int changes = 0;
    QObject::connect(&glyph, &MenuBarGlyph::changed, [&] { ++changes; });
    glyph.setHasSomethingToSay(true);
    motion.advance(0.45);
    // The curve is symmetric about its middle.
    EXPECT_NEAR(glyph.state().openOpacity, 0.5, 1e-6);
    motion.advance(0.45);
    EXPECT_EQ(glyph.state().openOpacity, 1);
    EXPECT_FALSE(motion.driver.timerArmed());
    EXPECT_GT(changes, 2);

    glyph.setReduceMotion(true);
    glyph.setStale(true);
    EXPECT_EQ(glyph.state().staleOpacity, 1);
    EXPECT_TRUE(motion.driver.idle());
}

TEST(StoneSurface, TellsEachFallBackOncePerSurfaceAndStone) {
    test::TestHome home;
    test::FixedClock clock(test::at("2026-12-07T09:00:00Z"));
    const StoneIdentity noArt = identity(StoneMaterial::quartz, "0000");
    const StoneIdentity noArtEither = identity(StoneMaterial::flint, "0001");

    EXPECT_EQ(StoneSurface::art(StoneIdentity::fallback(), "menu bar", clock.clock()).seed, "1c7e");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(StoneSurface::art(noArt, "menu bar", clock.clock()).seed, "1c7e");
        StoneSurface::art(noArt, "desktop pane", clock.clock());
        StoneSurface::art(noArtEither, "menu bar", clock.clock());
        // A label of its own: each label is told once per process, and other tests in this
        // process may have told the controller's.
        StoneSurface::noteWearingFallbackByDefault("menu bar and test pane", clock.clock());
    }
    std::vector<std::string> details;
    for (const auto& entry : DecisionLog::today(clock.now())) {
        EXPECT_EQ(entry.kind, "stone");
        details.push_back(entry.detail);
    }
    EXPECT_EQ(details, (std::vector<std::string>{
                           "menu bar fell back to pebble-1c7e: no art for quartz-0000 at shapeRevision 1",
                           "desktop pane fell back to pebble-1c7e: no art for quartz-0000 at shapeRevision 1",
                           "menu bar fell back to pebble-1c7e: no art for flint-0001 at shapeRevision 1",
                           "menu bar and test pane wear pebble-1c7e: no stone kept yet (nothing has come from the "
                           "web handoff)",
                       }));
}

}  // namespace
}  // namespace quillfen
