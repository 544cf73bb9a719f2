#include <gtest/gtest.h>

#include <QWidget>
#include <string>
#include <vector>

#include "UI/StoneBeing.h"
#include "support/ChildProcess.h"
#include "support/DesktopSession.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

// Has the X tools do `action` to `window` on the test's desktop, as another client would.
bool windowSystemDoes(const std::string& action, const QWidget& window) {
    test::ChildProcess tool({"/usr/bin/xdotool", action, std::to_string(window.winId())},
                            test::DesktopSession::current().childEnvironment());
    return tool.endsWell();
}

// Qt tells a widget of a window the window manager minimised only through the window's state, and
// of one taken off the screen (unmapped, as a desktop not shown) only through its surface's
// exposure: the stone rests through both, and breathes on once the window is back.
TEST(StoneBeing, RestsWhileTheWindowSystemKeepsItsWindowOffTheScreen) {
    const struct {
        const char* name;
        const char* away;
        const char* back;
    } ways[] = {
        {"minimised by the window manager", "windowminimize", "windowactivate"},
        {"unmapped", "windowunmap", "windowmap"},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        test::SteppedMotion motion;
        StoneBeing stone(StoneFace::calm, StoneIdentity::fallback(), 110, true, nullptr, motion.driver);
        stone.show();
        ASSERT_TRUE(test::spinUntil([&] { return stone.windowHandle()->isExposed(); }));
        motion.advance(1);
        EXPECT_TRUE(stone.seen());
        EXPECT_FALSE(motion.driver.idle());

        ASSERT_TRUE(windowSystemDoes(way.away, stone));
        EXPECT_TRUE(test::spinUntil([&] { return !stone.seen(); }));
        EXPECT_TRUE(motion.driver.idle());

        ASSERT_TRUE(windowSystemDoes(way.back, stone));
        EXPECT_TRUE(test::spinUntil([&] { return stone.seen(); }));
        EXPECT_FALSE(motion.driver.idle());
    }
}

}  // namespace
}  // namespace quillfen
