#include "UI/InspectView.h"

#include <gtest/gtest.h>

#include <QPainterPath>
#include <QScrollArea>

#include "UI/HillLandscape.h"
#include "UI/InspectModel.h"
#include "UI/Render.h"
#include "UI/Theme.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/TestEnvironment.h"
#include "support/WidgetTree.h"

namespace quillfen {
namespace {

using test::at;

// The fact rows a person sees, top to bottom, by name.
std::vector<std::string> visibleFacts(const QWidget& view) {
    std::vector<std::string> names;
    for (QObject* o : test::child(view, "facts")->children()) {
        auto* row = qobject_cast<QWidget*>(o);
        if (row != nullptr && row->isVisibleTo(&view)) names.push_back(row->objectName().toStdString());
    }
    return names;
}

TEST(InspectView, ShowsFourFactsUntilOutsideAndBrowserAreKnown) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint wednesday = at("2026-03-04T15:20:00Z");
    InspectModel model(wednesday);
    InspectView view(model, [&] { return wednesday; });
    test::settle(view, 580, 640);
    EXPECT_EQ(visibleFacts(view),
              (std::vector<std::string>{"atScreenFact", "thisWeekFact", "rightNowFact", "timesSpokenFact"}));
    EXPECT_EQ(test::textOf(*test::child(view, "atScreenFact"), "text"), "\u2014");
    EXPECT_EQ(test::textOf(view, "heading"), "What I\u2019m seeing");
    EXPECT_EQ(test::child<QLabel>(view, "heading")->font().pixelSize(), 21);
    EXPECT_EQ(test::child<QLabel>(view, "heading")->font().weight(), QFont::DemiBold);
    EXPECT_EQ(test::textOf(view, "subheading"), "your week\u2019s rhythm, and nothing else");

    model.setOutsideFact("good light out right now");
    model.setBrowserFact("1 tab switch this hour, 45 min in the browser today");
    EXPECT_EQ(visibleFacts(view), (std::vector<std::string>{"atScreenFact", "thisWeekFact", "rightNowFact",
                                                            "outsideFact", "browserFact", "timesSpokenFact"}));
    const QWidget* browser = test::child(view, "browserFact");
    EXPECT_EQ(test::textOf(*browser, "title"), "In the browser");
    EXPECT_EQ(test::textOf(*browser, "text"), "1 tab switch this hour, 45 min in the browser today");
    EXPECT_EQ(test::child<QLabel>(*browser, "text")->font().pixelSize(), 11);
    EXPECT_EQ(test::colourOf(test::child(*browser, "text")), Theme::ink3());
    auto glyphOf = [&](const char* row) { return dynamic_cast<GlyphMark*>(test::child(*test::child(view, row), "glyph")); };
    EXPECT_EQ(glyphOf("browserFact")->kind(), GlyphMark::Kind::wave);
    EXPECT_EQ(glyphOf("timesSpokenFact")->kind(), GlyphMark::Kind::speak);
    EXPECT_EQ(glyphOf("rightNowFact")->kind(), GlyphMark::Kind::pulse);

    // Labels under the hills: the six weekdays before today, "today" flush with the right edge.
    std::vector<std::string> days;
    for (QLabel* day : test::child<WeekdayRow>(view, "weekdays")->labels()) days.push_back(day->text().toStdString());
    EXPECT_EQ(days, (std::vector<std::string>{"thu", "fri", "sat", "sun", "mon", "tue", "today"}));
    const QLabel* today = test::child<WeekdayRow>(view, "weekdays")->labels().back();
    EXPECT_EQ(today->geometry().right(), today->parentWidget()->rect().right());
}

TEST(InspectView, ALongFactWrapsAndItsGlyphStaysCentred) {
    InspectModel model(at("2026-01-05T14:00:00Z"));
    InspectView view(model, [] { return at("2026-01-05T14:00:00Z"); });
    test::settle(view, 460, 640);
    const QWidget* row = test::child(view, "thisWeekFact");
    const int oneLine = row->height();
    model.setThisWeekFact(std::string(40, 'x') + " and a great many more words that cannot all fit on one line "
                                                 "of a narrow window, however it is laid out");
    test::settle();
    EXPECT_GT(row->height(), oneLine + 10);
    const QWidget* glyph = test::child(*row, "glyph");
    EXPECT_NEAR(glyph->geometry().center().y(), row->rect().center().y(), 1);
    const QWidget* privacy = test::child(view, "privacy");
    EXPECT_LE(privacy->width(), 460);
}

TEST(HillLandscape, LeavesAndReachesEachDayFlatAndMarksTodayAtTheRightEdge) {
    const std::vector<double> ridges{0.08, 0.5, 1.0, 0.24, 0.72, 0.08, 0.5};
    const HillGeometry g = HillLandscape::geometry({600, 96}, ridges);
    auto y = [](double v) { return 0.94 * 96 - (0.94 - 0.1) * 96 * v; };
    ASSERT_EQ(g.line.elementCount(), 1 + 6 * 3);
    EXPECT_EQ(g.line.elementAt(0).type, QPainterPath::MoveToElement);
    EXPECT_NEAR(g.line.elementAt(0).y, y(0.08), 1e-9);
    for (int i = 0; i < 6; ++i) {
        const auto c1 = g.line.elementAt(1 + 3 * i);
        const auto c2 = g.line.elementAt(2 + 3 * i);
        const auto end = g.line.elementAt(3 + 3 * i);
        EXPECT_DOUBLE_EQ(c1.x, 100 * (i + 0.5));
        EXPECT_DOUBLE_EQ(c2.x, 100 * (i + 0.5));
        EXPECT_NEAR(c1.y, y(ridges[static_cast<std::size_t>(i)]), 1e-9);
        EXPECT_NEAR(c2.y, y(ridges[static_cast<std::size_t>(i) + 1]), 1e-9);
        EXPECT_DOUBLE_EQ(end.x, 100 * (i + 1));
        EXPECT_NEAR(end.y, y(ridges[static_cast<std::size_t>(i) + 1]), 1e-9);
    }
    EXPECT_DOUBLE_EQ(g.todayDot.x(), 600);
    EXPECT_NEAR(g.todayDot.y(), y(0.5), 1e-9);
    EXPECT_EQ(g.fill.elementAt(g.fill.elementCount() - 3).x, 600);
    EXPECT_EQ(g.fill.elementAt(g.fill.elementCount() - 3).y, 96);
    EXPECT_EQ(g.fill.elementAt(g.fill.elementCount() - 2), QPointF(0, 96));

    // An empty week still draws seven low ridge points.
    HillLandscape hills;
    hills.setWeek({}, 0);
    EXPECT_EQ(hills.state().ridges, std::vector<double>(7, 0.08));
    EXPECT_DOUBLE_EQ(HillLandscape::geometry({300, 96}, hills.state().ridges).todayDot.x(), 300);
}

TEST(HillLandscape, FillsHeavierOnlyAboveAScoreOfSixTenths) {
    for (const auto& [score, fill] : {std::pair{0.6, Theme::hillFill()}, std::pair{0.61, Theme::hillFillHeavy()}}) {
        const QImage image = renderToImage({140, 96}, 1, [score](QPainter& p, const QRectF& r) {
            paintHillLandscape(p, r, {std::vector<double>(7, 0.5), score});
        });
        EXPECT_EQ(image.pixelColor(70, 90), fill) << score;
    }
}

}  // namespace
}  // namespace quillfen
