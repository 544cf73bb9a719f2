#include <gtest/gtest.h>

#include "UI/PopoverWindow.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

// Two screens side by side: 1920 x 1080 with a 28-point panel at its top, and to its right a
// 1280 x 1024 one whose panel is 40 points at the bottom.
const QRect kLeft(0, 28, 1920, 1052);
const QRect kRight(1920, 0, 1280, 984);
const QSize kPopup(300, 400);

TEST(PopoverPlacement, HangsOffTheTrayOnWhicheverEdgeItSitsAndStaysOnItsScreen) {
    struct Case {
        const char* name;
        std::optional<QRect> tray;
        std::optional<QPoint> pointer;
        QList<QRect> screens;
        QPoint topLeft;
    };
    const Case cases[] = {
        {"top panel", QRect(1500, 2, 24, 24), std::nullopt, {kLeft, kRight}, {1362, 30}},
        {"top panel, icon in the corner", QRect(1890, 2, 24, 24), std::nullopt, {kLeft, kRight}, {1620, 30}},
        {"bottom panel of the second screen", QRect(3100, 992, 24, 24), QPoint(10, 10), {kLeft, kRight},
         {2900, 584}},
        {"left panel", QRect(4, 500, 24, 24), std::nullopt, {QRect(32, 0, 1888, 1080)}, {32, 312}},
        {"right panel, icon near the foot", QRect(1892, 1040, 24, 24), std::nullopt, {QRect(0, 0, 1888, 1080)},
         {1588, 680}},
        {"panel over the screen, icon at its top", QRect(600, 0, 24, 24), std::nullopt, {QRect(0, 0, 1920, 1080)},
         {462, 28}},
        {"no tray geometry: under the pointer", std::nullopt, QPoint(2500, 300), {kLeft, kRight}, {2350, 304}},
        {"an empty tray rectangle counts as none", QRect(), QPoint(100, 1000), {kLeft, kRight}, {0, 680}},
        {"neither: the first screen's top right", std::nullopt, std::nullopt, {kLeft, kRight}, {1620, 28}},
        {"a screen smaller than the popup", std::nullopt, std::nullopt, {QRect(0, 0, 200, 300)}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint at = popoverTopLeft(c.tray, c.pointer, c.screens, kPopup);
        EXPECT_EQ(at, c.topLeft);
        if (c.screens.front().width() >= kPopup.width()) {
            const bool onOne = std::any_of(c.screens.begin(), c.screens.end(),
                                           [&](const QRect& s) { return s.contains(QRect(at, kPopup)); });
            EXPECT_TRUE(onOne) << "wholly on one screen";
        }
    }
}

}  // namespace
}  // namespace quillfen
