#include <gtest/gtest.h>

#include "platform/StatusItem.h"
#include "support/DesktopSession.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

// Each time an XEmbed tray goes and comes (a panel restarted, a tray extension turned off and on),
// whoever listens is told, once the toolkit's answer has changed with it.
TEST(StatusItemLinux, SaysWhenATrayHostGoesAndWhenOneComes) {
    auto& session = test::DesktopSession::current();
    auto item = makeStatusItem();
    item->show([](int, int, double) { return StatusIconImage{}; }, {{"quit", "Quit"}}, {});
    ASSERT_TRUE(item->hostAvailable());
    std::vector<bool> told;
    auto subscription = item->subscribeToHost([&] { told.push_back(item->hostAvailable()); });
    session.stopTray();
    EXPECT_TRUE(test::spinUntil([&] { return told.size() == 1; }));
    const bool started = session.startTray();
    ASSERT_TRUE(started) << "trayer did not take the tray again";
    EXPECT_TRUE(test::spinUntil([&] { return told.size() == 2; }));
    test::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(told, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace quillfen
