#include "UI/SensingNotes.h"

#include <gtest/gtest.h>

#include "UI/InspectModel.h"
#include "UI/InspectView.h"
#include "UI/MirrorModel.h"
#include "UI/MirrorPanel.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/WidgetTree.h"

namespace quillfen {
namespace {

using test::at;

std::vector<std::string> notesShown(const QWidget& view) {
    std::vector<std::string> lines;
    if (!test::shown(view, "sensingNotes")) return lines;
    for (MirrorBanner* banner : test::child<SensingNotes>(view, "sensingNotes")->banners()) {
        if (banner->isVisibleTo(&view)) lines.push_back(banner->lineLabel()->text().toStdString());
    }
    return lines;
}

int topOf(const QWidget& view, const char* name) {
    const QWidget* widget = test::child(view, name);
    return widget->mapTo(&view, QPoint(0, 0)).y();
}

// Whichever face the rhythm window wears, the mirror while it only observes or the inspect view
// while it may speak, what the desktop cannot tell comes before the week, and goes without a trace.
TEST(SensingNotes, BothFacesOfTheRhythmWindowSayEachNoteBeforeTheWeek) {
    const TimePoint now = at("2026-03-04T15:20:00Z");
    test::SteppedMotion motion;
    MirrorModel mirror;
    using Make = std::function<std::unique_ptr<QWidget>(InspectModel&)>;
    const std::pair<const char*, Make> faces[] = {
        {"mirror",
         [&](InspectModel& inspect) {
             return std::make_unique<MirrorPanel>(mirror, inspect, MirrorPanel::Actions{}, [now] { return now; },
                                                  nullptr, motion.driver);
         }},
        {"inspect", [&](InspectModel& inspect) { return std::make_unique<InspectView>(inspect, [now] { return now; }); }},
    };
    for (const auto& [face, make] : faces) {
        SCOPED_TRACE(face);
        InspectModel inspect(now);
        auto view = make(inspect);
        test::settle(*view, 580, 640);
        const int weekWithout = topOf(*view, "hills");
        EXPECT_EQ(notesShown(*view), std::vector<std::string>{});

        inspect.setSensingNotes({"idle time is unknown", "switches are not seen"});
        test::settle();
        EXPECT_EQ(notesShown(*view), (std::vector<std::string>{"idle time is unknown", "switches are not seen"}));
        EXPECT_GT(topOf(*view, "hills"), weekWithout);

        inspect.setSensingNotes({"switches are not seen"});
        test::settle();
        EXPECT_EQ(notesShown(*view), std::vector<std::string>{"switches are not seen"});

        inspect.setSensingNotes({});
        test::settle();
        EXPECT_EQ(notesShown(*view), std::vector<std::string>{});
        EXPECT_EQ(topOf(*view, "hills"), weekWithout);
    }
}

}  // namespace
}  // namespace quillfen
