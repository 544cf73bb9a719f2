#include <gtest/gtest.h>

#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/WaylandConnection.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/HeadlessCompositor.h"
#include "support/ManualDelay.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

TEST(ForeignToplevelApplicationActivations, CountsEverySwitchOnSwayBetweenNativeWindowsAndWithAnX11One) {
    test::HeadlessCompositor sway(test::HeadlessCompositor::Kind::sway);
    sway.withXwayland();
    if (auto failure = sway.start()) GTEST_SKIP() << *failure;
    auto editor = sway.window("org.example.Editor");
    auto browser = sway.window("org.example.Browser");
    auto terminal = sway.window("org.example.Terminal", true);
    // In front once sway has it; that it is in front at the start is no switch.
    ASSERT_TRUE(test::waitUntil([&] { return sway.swayCommand("[class=org.example.Terminal] focus"); }));

    test::CapturedSystemLog log;
    test::ManualDelay delay;
    auto connection = WaylandConnection::open(sway.socketPath().string(), delay, 5.0);
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(test::spinUntil([&] { return connection->state() == WaylandConnection::State::listed; }));
    // The compositor's list of windows is the first way the chooser asks.
    auto activations = makeApplicationActivations(ApplicationActivationsParts{
        SessionType::wayland, connection, QDBusConnection(QStringLiteral("quillfen-no-bus")), {}});
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             "sensing: application switches come from the compositor's list of windows"});
    int count = 0;
    auto subscription = activations->subscribe([&] { ++count; });
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(count, 0);

    const auto switchTo = [&](const std::string& criteria) {
        const int before = count;
        if (!sway.swayCommand(criteria + " focus")) return false;
        return test::spinUntil([&] { return count > before; });
    };
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(switchTo(i % 2 == 0 ? "[app_id=org.example.Editor]" : "[app_id=org.example.Browser]"))
            << i;
    EXPECT_EQ(count, 20);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(switchTo(i % 2 == 0 ? "[class=org.example.Terminal]" : "[app_id=org.example.Editor]"))
            << i;
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(count, 40);
}

}  // namespace
}  // namespace quillfen
