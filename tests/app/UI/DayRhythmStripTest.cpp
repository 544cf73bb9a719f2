#include "UI/DayRhythmStrip.h"

#include <gtest/gtest.h>

#include "UI/MirrorModel.h"
#include "UI/Render.h"
#include "UI/RollingNumber.h"
#include "UI/Theme.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/WidgetTree.h"

namespace quillfen {
namespace {

bool closeInRgb(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 6 && std::abs(a.green() - b.green()) < 6 && std::abs(a.blue() - b.blue()) < 6;
}

// A colour at its opacity over an opaque one, as a person sees it.
QColor over(const QColor& colour, const QColor& under = Theme::paper()) {
    const double a = colour.alphaF();
    auto blend = [a](int c, int u) { return static_cast<int>(std::lround(c * a + u * (1 - a))); };
    return QColor(blend(colour.red(), under.red()), blend(colour.green(), under.green()),
                  blend(colour.blue(), under.blue()));
}

TEST(DayRhythmStrip, DrawsEachRunOnTheTrackWithAnEmberEdgeOnlyWhenLate) {
    RhythmStrip strip;
    strip.runs = {{0.1, 0.3, 7.8, 11.4, 216, 0, true}, {0.3, 0.5, 11.4, 15, 216, 40, false}};
    const QImage image = renderToImage(
        {200, 44}, 2, [&](QPainter& p, const QRectF& r) { paintDayRhythmStrip(p, r, strip); }, Theme::paper());
    auto at = [&](double x, double y) { return image.pixelColor(static_cast<int>(x * 2), static_cast<int>(y * 2)); };
    const QColor track = over(Theme::faded(Theme::field(), 0.6));
    const QColor calm = over(Theme::faded(Theme::moss(), 0.3), track);
    const QColor busy = over(Theme::faded(Theme::moss(), 0.75), track);
    EXPECT_TRUE(closeInRgb(at(150, 20), track)) << "the track beyond the runs";
    EXPECT_TRUE(closeInRgb(at(40, 20), calm));
    EXPECT_TRUE(closeInRgb(at(80, 20), busy)) << "adjacent runs stay two bars";
    EXPECT_TRUE(closeInRgb(at(40, 43.6), over(Theme::faded(Theme::ember(), 0.75), calm)));
    EXPECT_TRUE(closeInRgb(at(80, 43.6), busy));
}

TEST(RollingNumber, RollsToANewValueWhileShownAndLandsAtOnceOtherwise) {
    test::SteppedMotion motion;
    NumbersRow row({}, nullptr, motion.driver);
    row.setCounts({185, 0, 0, 0, 0});
    auto* longest = test::child<RollingNumber>(row, "longestRunMin");
    EXPECT_EQ(longest->text(), "3h 5m") << "set while hidden";
    test::settle(row, 500, 60);
    row.setCounts({185, 0, 0, 40, 0});
    auto* pulls = test::child<RollingNumber>(row, "pullsToday");
    motion.advance(0.2);
    const int midway = pulls->text().toInt();
    EXPECT_GT(midway, 0);
    EXPECT_LT(midway, 40);
    motion.advance(0.3);
    EXPECT_EQ(pulls->text(), "40");
    EXPECT_TRUE(motion.driver.idle());

    row.setReduceMotion(true);
    row.setCounts({185, 0, 0, 7, 0});
    EXPECT_EQ(pulls->text(), "7");
}

TEST(NumbersRow, AClosedWindowLeavesNothingMoving) {
    test::SteppedMotion motion;
    auto row = std::make_unique<NumbersRow>(NumbersRow::Counts{}, nullptr, motion.driver);
    test::settle(*row, 500, 60);
    row->setCounts({0, 90, 0, 0, 0});
    EXPECT_FALSE(motion.driver.idle());
    row.reset();
    EXPECT_TRUE(motion.driver.idle());
}

TEST(MirrorStrip, FollowsTheMirrorsDay) {
    MirrorModel model;
    MirrorStrip strip(model, 26);
    RhythmStrip today;
    today.runs = {{0.2, 0.4, 9.6, 13.2, 216, 12, false}};
    model.setToday(today);
    const auto* bars = test::child<DayRhythmStrip>(strip, "dayStrip");
    EXPECT_EQ(bars->strip(), today);
    EXPECT_EQ(bars->height(), 26);
}

}  // namespace
}  // namespace quillfen
