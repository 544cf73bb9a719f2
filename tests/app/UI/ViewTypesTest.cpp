#include <gtest/gtest.h>

#include <vector>

#include "UI/DayRhythmStrip.h"
#include "UI/DevInspectParts.h"
#include "UI/DevInspectView.h"
#include "UI/GlyphMark.h"
#include "UI/HillLandscape.h"
#include "UI/InspectModel.h"
#include "UI/InspectView.h"
#include "UI/MirrorModel.h"
#include "UI/MirrorPanel.h"
#include "UI/RoundedBox.h"
#include "UI/StoneBeing.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

// What Qt finds by a view's type beside what each widget of the window really is.
struct Found {
    std::vector<const QWidget*> byQt, byLanguage;
};

template <typename View>
Found find(const QWidget& window) {
    Found found;
    for (const View* view : window.findChildren<View*>()) found.byQt.push_back(view);
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (dynamic_cast<const View*>(widget) != nullptr) found.byLanguage.push_back(widget);
    }
    return found;
}

TEST(ViewTypes, AWindowsViewsAreFoundByTheirTypeAndNoOthers) {
    const TimePoint now = test::at("2026-03-04T15:20:00Z");
    InspectModel inspect(now);
    MirrorModel mirror;
    test::SteppedMotion motion;
    MirrorPanel::Actions actions;
    actions.onReconnect = [] {};
    MirrorPanel mirrorPanel(mirror, inspect, actions, [&] { return now; }, nullptr, motion.driver);
    DevInspectView devInspect(inspect, [&] { return now; }, nullptr, motion.driver);

    struct Row {
        const char* type;
        const QWidget& window;
        Found (*find)(const QWidget&);
    };
    for (const Row& row : {Row{"GlyphMark", mirrorPanel, &find<GlyphMark>},
                           Row{"HillLandscape", mirrorPanel, &find<HillLandscape>},
                           Row{"FactRow", mirrorPanel, &find<FactRow>},
                           Row{"DayRhythmStrip", mirrorPanel, &find<DayRhythmStrip>},
                           Row{"StoneBeing", mirrorPanel, &find<StoneBeing>},
                           // The banners and the cards are rounded boxes too.
                           Row{"RoundedBox", mirrorPanel, &find<RoundedBox>},
                           Row{"WeekStrip", devInspect, &find<WeekStrip>},
                           Row{"Card", devInspect, &find<Card>},
                           Row{"MeterBar", devInspect, &find<MeterBar>}}) {
        const Found found = row.find(row.window);
        EXPECT_FALSE(found.byLanguage.empty()) << row.type;
        EXPECT_EQ(found.byQt, found.byLanguage) << row.type;
    }
}

}  // namespace
}  // namespace quillfen
