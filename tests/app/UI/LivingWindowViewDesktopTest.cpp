#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <string>

#include "ManagedWindow.h"
#include "UI/LivingWindowView.h"
#include "WindowChrome.h"
#include "support/DesktopSession.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

// What a command of the X tools prints, trimmed.
std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
        pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string activeWindow() {
    return output("/usr/bin/xdotool getactivewindow 2>/dev/null");
}

TEST(LivingWindowView, ThePaneNeverTakesTheFocusItIsOnEveryWorkspaceAndAClickReachesItsTap) {
    ManagedWindow asked("rhythm"), paneSlot("desktop pane");
    asked.present([] {
        auto* window = new QWidget;
        window->resize(200, 120);
        return window;
    });
    ASSERT_TRUE(test::spinUntil([&] { return QApplication::activeWindow() == asked.window(); }));
    const std::string focused = std::to_string(asked.window()->winId());
    ASSERT_TRUE(test::spinUntil([&] { return activeWindow() == focused; }));

    LivingWindowModel model(StoneIdentity::fallback());
    int taps = 0;
    paneSlot.present(
        [&] {
            return makeWindow(new LivingWindowView(model, [&] { ++taps; }), WindowChrome::pane({258, 146}));
        },
        {}, ManagedWindow::Focus::leaveFocus);
    QWidget* pane = paneSlot.window();
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(test::spinUntil([&] { return pane->windowHandle()->isExposed(); }));
    pane->setGeometry(300, 200, 258, 146);
    model.setScore(0.8);
    model.setCeilingLine("Quiet so far. I’m just watching.");
    ASSERT_TRUE(test::settleDesktop(*pane));
    EXPECT_EQ(activeWindow(), focused) << "shown, moved and changed, the pane left the focus where it was";

    const std::string id = std::to_string(pane->winId());
    const std::string states = output("/usr/bin/xprop -id " + id + " _NET_WM_STATE");
    for (const char* state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
        EXPECT_NE(states.find(state), std::string::npos) << states;
    // Every workspace, as the window manager keeps it.
    EXPECT_EQ(output("/usr/bin/xprop -id " + id + " _NET_WM_DESKTOP"), "_NET_WM_DESKTOP(CARDINAL) = 4294967295");

    const QPoint inside = pane->mapToGlobal(QPoint(pane->width() / 2, pane->height() - 20));
    output("xdotool mousemove --sync " + std::to_string(inside.x()) + " " + std::to_string(inside.y()) + " click 1");
    EXPECT_TRUE(test::spinUntil([&] { return taps == 1; }));
    ASSERT_TRUE(test::settleDesktop(*pane));
    EXPECT_EQ(activeWindow(), focused) << "a click on the pane takes no focus either";
}

}  // namespace
}  // namespace quillfen
