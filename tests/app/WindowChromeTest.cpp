#include "WindowChrome.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(WindowChrome, TheDesktopPaneGrowsWithTheWeekFromItsFloorAndKeepsToTheCorner) {
    const QRectF screen(0, 24, 1280, 776);  // below a 24-pixel top bar
    const struct {
        double width, beingWidth, right, bottom;
        QRectF frame;
    } cases[] = {
        // Narrow drawings keep the floor width and height.
        {100, 30, 16, 16, {1280 - 16 - 258, 800 - 16 - (76 * 2.0 / 3 + 86), 258, 76 * 2.0 / 3 + 86}},
        {300, 76, 28, 32, {1280 - 28 - 344, 800 - 32 - (2.4 * 76 * 2 / 3 + 86), 344, 2.4 * 76 * 2 / 3 + 86}},
    };
    for (const auto& c : cases) {
        LivingWindow::Geometry g;
        g.width = c.width;
        g.beingWidth = c.beingWidth;
        g.right = c.right;
        g.bottom = c.bottom;
        EXPECT_EQ(livingPaneFrame(g, screen), c.frame) << c.width;
    }
}

}  // namespace
}  // namespace quillfen
