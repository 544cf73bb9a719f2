#include "NotificationManager.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusVariant>
#include <QStringList>

#include "platform/linux/DesktopNotificationsLinux.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

static auto* const env = test::addQtEnvironment();

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

NudgeCopy nudge(const std::string& title) {
    NudgeCopy copy;
    copy.notificationTitle = title;
    copy.notificationBody = "Step outside for five.";
    return copy;
}

struct NotifyCall {
    QString summary;
    QString body;
    uint replacesId = 0;
    QStringList actions;
    bool silent = false;
};

// The daemon's own record of what it was asked to show.
std::vector<NotifyCall> notifyCalls(test::BusConnection& bus) {
    QDBusMessage reply = bus.call(kService, kPath, kMock, QStringLiteral("GetMethodCalls"), {QStringLiteral("Notify")});
    std::vector<NotifyCall> calls;
    const auto list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        list.beginStructure();
        qulonglong when = 0;
        list >> when;
        QVariantList args;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant value;
            list >> value;
            args << value.variant();
        }
        list.endArray();
        list.endStructure();
        NotifyCall call;
        call.replacesId = args.value(1).toUInt();
        call.summary = args.value(3).toString();
        call.body = args.value(4).toString();
        call.actions = args.value(5).toStringList();
        QVariantMap hints;
        args.value(6).value<QDBusArgument>() >> hints;
        call.silent = hints.value(QStringLiteral("suppress-sound")).toBool();
        calls.push_back(call);
    }
    list.endArray();
    return calls;
}

void emitFromDaemon(test::BusConnection& bus, const QString& name, const QString& signature,
                    const QVariantList& args) {
    bus.call(kService, kPath, kMock, QStringLiteral("EmitSignal"), {kService, name, signature, args});
}

TEST(NotificationManager, PostsTheNudgeWithItsTwoActionsAndTurnsOnlyATapOrStepOutsideIntoThePrimaryAction) {
    test::PrivateBus bus;
    test::DbusMock daemon(bus, "notification_daemon", R"({"capabilities": "body actions"})");
    test::BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(kService));
    auto service = makeDesktopNotifications(*connection);
    int taps = 0;
    NotificationManager manager(*service, [&] { ++taps; });

    std::optional<bool> granted;
    manager.requestAuthorization([&](bool answer) { granted = answer; });
    ASSERT_TRUE(test::spinUntil([&] { return granted.has_value(); }));
    EXPECT_TRUE(*granted);
    manager.registerCategory();  // a second registration leaves one set of actions
    manager.fire(nudge("Third long afternoon this week."));
    manager.fire(nudge("Fourth long afternoon this week."));
    test::spinFor(std::chrono::milliseconds(100));

    auto calls = notifyCalls(connection);
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
        emitFromDaemon(connection, "ActionInvoked", "us", {answer.id, answer.action});
        test::spinFor(std::chrono::milliseconds(60));
        EXPECT_EQ(taps - before, answer.taps) << answer.action.toStdString() << " on " << answer.id;
    }
    // A closed banner is a dismissal: nothing happens, and it is no longer ours to answer.
    emitFromDaemon(connection, "NotificationClosed", "uu", {uint(1), uint(2)});
    emitFromDaemon(connection, "ActionInvoked", "us", {uint(1), QStringLiteral("default")});
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
        NotificationManager manager(*service, [] {});
        std::optional<bool> granted;
        manager.requestAuthorization([&](bool answer) { granted = answer; });
        manager.fire(nudge("Third long afternoon this week."));
        ASSERT_TRUE(test::spinUntil([&] { return granted.has_value(); }, std::chrono::milliseconds(1000)));
        EXPECT_FALSE(*granted);
    }
    QDBusConnection::disconnectFromBus(nowhere);
}

}  // namespace
}  // namespace quillfen
