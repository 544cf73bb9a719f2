#include "NotificationManager.h"

#include <gtest/gtest.h>

#include "platform/linux/DesktopNotificationsLinux.h"
#include "support/MemoryUserDefaults.h"
#include "support/NotificationCalls.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

NudgeCopy nudge(const std::string& title) {
    NudgeCopy copy;
    copy.notificationTitle = title;
    copy.notificationBody = "Step outside for five.";
    return copy;
}

TEST(NotificationManager, PostsTheNudgeWithItsTwoActionsAndTurnsOnlyATapOrStepOutsideIntoThePrimaryAction) {
    test::PrivateBus bus;
    test::DbusMock daemon(bus, "notification_daemon", R"({"capabilities": "body actions"})");
    test::BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(test::kNotificationsService));
    auto service = makeDesktopNotifications(*connection);
    int taps = 0;
    test::MemoryUserDefaults defaults;
    NotificationManager manager(*service, defaults, [&] { ++taps; });

    std::optional<bool> granted;
    manager.requestAuthorization([&](bool answer) { granted = answer; });
    ASSERT_TRUE(test::spinUntil([&] { return granted.has_value(); }));
    EXPECT_TRUE(*granted);
    manager.registerCategory();  // a second registration leaves one set of actions
    manager.fire(nudge("Third long afternoon this week."));
    manager.fire(nudge("Fourth long afternoon this week."));
    test::spinFor(std::chrono::milliseconds(100));

    auto calls = test::notifyCalls(connection);
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.actions, (QStringList{"default", "", "TAVRYN_STEP_OUTSIDE", "Step outside", "TAVRYN_NOT_NOW",
                                             "Not now"}));
        EXPECT_EQ(call.replacesId, 0u);  // both stay on screen
        EXPECT_TRUE(call.silent);
        EXPECT_EQ(call.body, "Step outside for five.");
    }
    EXPECT_EQ(calls[0].summary, "Third long afternoon this week.");

    // The daemon numbers its notifications from 1: ours are 1 and 2.
    const struct {
        uint id;
        QString action;
        int taps;
    } answers[] = {
        {1, "TAVRYN_NOT_NOW", 0}, {1, "TAVRYN_STEP_OUTSIDE", 1}, {2, "default", 1},
        {2, "something-else", 0}, {7, "default", 0},  // not one of ours
    };
    for (const auto& answer : answers) {
        const int before = taps;
        test::emitFromNotificationDaemon(connection, "ActionInvoked", "us", {answer.id, answer.action});
        test::spinFor(std::chrono::milliseconds(60));
        EXPECT_EQ(taps - before, answer.taps) << answer.action.toStdString() << " on " << answer.id;
    }
    // A closed banner is a dismissal: nothing happens, and it is no longer ours to answer.
    test::emitFromNotificationDaemon(connection, "NotificationClosed", "uu", {uint(1), uint(2)});
    test::emitFromNotificationDaemon(connection, "ActionInvoked", "us", {uint(1), QStringLiteral("default")});
    test::spinFor(std::chrono::milliseconds(60));
    EXPECT_EQ(taps, 2);
}

TEST(NotificationManager, WithoutADaemonOrWithoutABusNothingHangsAndTheDesktopCountsAsRefusing) {
    test::PrivateBus bus;
    test::BusConnection empty(bus);
    const QString nowhere = QStringLiteral("quillfen-test-nowhere");
    auto noBus = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), nowhere);
    for (QDBusConnection* connection : {&*empty, &noBus}) {
        auto service = makeDesktopNotifications(*connection);
        test::MemoryUserDefaults defaults;
        NotificationManager manager(*service, defaults, [] {});
        std::optional<bool> granted;
        manager.requestAuthorization([&](bool answer) { granted = answer; });
        manager.fire(nudge("Third long afternoon this week."));
        ASSERT_TRUE(test::spinUntil([&] { return granted.has_value(); }));
        EXPECT_FALSE(*granted);
    }
    QDBusConnection::disconnectFromBus(nowhere);
}

}  // namespace
}  // namespace quillfen
