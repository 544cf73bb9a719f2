#include "ManagedWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include "support/DesktopSession.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

QWidget* makeWindow(int& builds) {
    ++builds;
    auto* window = new QWidget;
    window->resize(120, 90);
    return window;
}

TEST(ManagedWindow, TheCloseButtonHidesAndReleasesTheWindowAndReopeningBuildsItWhereItStood) {
    ManagedWindow slot("rhythm");
    int builds = 0;
    auto build = [&] { return makeWindow(builds); };
    EXPECT_EQ(slot.present(build), WindowSlotAction::create);
    ASSERT_TRUE(test::spinUntil([&] { return slot.window() && slot.window()->isVisible(); }));
    slot.window()->move(40, 50);
    ASSERT_TRUE(test::spinUntil([&] { return slot.window()->pos() == QPoint(40, 50); }));
    const QPoint placed = slot.window()->pos();

    QPointer<QWidget> closed = slot.window();
    closed->close();
    EXPECT_EQ(slot.slot().state, WindowSlotState::live(false));
    EXPECT_TRUE(test::spinUntil([&] { return closed.isNull(); })) << "a closed window is released";

    EXPECT_EQ(slot.present(build), WindowSlotAction::reuseShow);
    EXPECT_EQ(builds, 2);
    ASSERT_TRUE(test::spinUntil([&] { return slot.window() && slot.window()->isVisible(); }));
    EXPECT_TRUE(test::spinUntil([&] { return slot.window()->pos() == placed; }));

    // Shown again while open: nothing is built.
    EXPECT_EQ(slot.present(build), WindowSlotAction::reuseShow);
    EXPECT_EQ(builds, 2);
    slot.dispose();
    EXPECT_EQ(slot.slot().state, WindowSlotState::empty());
    EXPECT_EQ(slot.present(build), WindowSlotAction::create);
    EXPECT_EQ(builds, 3);
}

TEST(ManagedWindow, AWindowShownWithoutFocusLeavesTheActiveWindowActive) {
    ManagedWindow asked("settings"), pane("desktop pane");
    int builds = 0;
    asked.present([&] { return makeWindow(builds); });
    ASSERT_TRUE(test::spinUntil([&] { return QApplication::activeWindow() == asked.window(); }));
    pane.present([&] { return makeWindow(builds); }, {}, ManagedWindow::Focus::leaveFocus);
    ASSERT_TRUE(test::spinUntil([&] { return pane.window() && pane.window()->windowHandle()->isExposed(); }));
    ASSERT_TRUE(test::settleDesktop(*pane.window()));
    EXPECT_EQ(QApplication::activeWindow(), asked.window());
}

// Opened again (a second start of the application, a click on the stone), a window the user
// minimised comes back in front.
TEST(ManagedWindow, AMinimisedWindowOpenedAgainComesBackActive) {
    ManagedWindow slot("rhythm");
    int builds = 0;
    slot.present([&] { return makeWindow(builds); });
    ASSERT_TRUE(test::spinUntil([&] { return QApplication::activeWindow() == slot.window(); }));
    slot.window()->showMinimized();
    ASSERT_TRUE(test::spinUntil([&] { return !slot.window()->windowHandle()->isExposed(); }));

    EXPECT_EQ(slot.present([&] { return makeWindow(builds); }), WindowSlotAction::reuseShow);
    EXPECT_TRUE(test::spinUntil(
        [&] { return !slot.window()->isMinimized() && QApplication::activeWindow() == slot.window(); }));
    EXPECT_EQ(builds, 1);
}

TEST(ManagedWindow, AViewThatHasNotArrivedOpensNothingAndLeavesTheSlotEmpty) {
    ManagedWindow slot("onboarding");
    slot.present([] { return nullptr; });
    EXPECT_EQ(slot.window(), nullptr);
    EXPECT_FALSE(slot.slot().hasWindow());
}

}  // namespace
}  // namespace quillfen
