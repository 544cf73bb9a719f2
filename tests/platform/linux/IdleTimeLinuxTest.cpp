#include "platform/linux/IdleTimeLinux.h"

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;
using test::VirtualDisplay;

const QString kMutter = QStringLiteral("org.gnome.Mutter.IdleMonitor");

TEST(IdleTimeLinux, ReadsTheCompositorsIdleMonitor) {
    PrivateBus bus;
    DbusMock mutter(bus, "mutter_idle_monitor", R"({"idletime": 4500})");
    BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(kMutter));

    auto idle = makeMutterIdleTime(*connection);
    EXPECT_EQ(idle->secondsSinceLastInput(), 4.5);
    connection.call(kMutter, QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                    QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("SetIdletime"),
                    {QVariant::fromValue(qulonglong(600000))});
    EXPECT_EQ(idle->secondsSinceLastInput(), 600.0);
}

TEST(IdleTimeLinux, ReadsTheXScreenSaverClock) {
    VirtualDisplay display;
    auto idle = makeX11IdleTime(display.name());
    auto seconds = idle->secondsSinceLastInput();
    ASSERT_TRUE(seconds.has_value());
    EXPECT_GE(*seconds, 0);
    EXPECT_LT(*seconds, 60);
}

TEST(IdleTimeLinux, TakesTheFirstSourceThatAnswers) {
    PrivateBus bus;
    VirtualDisplay display;
    BusConnection connection(bus);
    auto sources = [&] {
        std::vector<std::unique_ptr<IdleTime>> list;
        list.push_back(makeMutterIdleTime(*connection));
        list.push_back(makeX11IdleTime(display.name()));
        return makeFirstAnsweringIdleTime(std::move(list));
    };

    // Without the compositor, the X server answers.
    auto xOnly = sources()->secondsSinceLastInput();
    ASSERT_TRUE(xOnly.has_value());
    EXPECT_LT(*xOnly, 60);

    DbusMock mutter(bus, "mutter_idle_monitor", R"({"idletime": 3600000})");
    ASSERT_TRUE(connection.waitForName(kMutter));
    EXPECT_EQ(sources()->secondsSinceLastInput(), 3600.0);
}

TEST(IdleTimeLinux, GivesNothingWhereNoSourceAnswers) {
    PrivateBus bus;
    BusConnection connection(bus);
    EXPECT_EQ(makeMutterIdleTime(*connection)->secondsSinceLastInput(), std::nullopt);
    // A display number no server listens on.
    EXPECT_EQ(makeX11IdleTime(":65000")->secondsSinceLastInput(), std::nullopt);
}

}  // namespace
}  // namespace quillfen
