#include "platform/linux/SessionEventsLinux.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

// Records what the session says, in order.
struct Recorder {
    std::vector<std::string> events;
    Subscription subscription;

    explicit Recorder(SessionEvents& source) {
        subscription = source.subscribe({
            .screensAsleep = [this](bool asleep) { events.push_back(asleep ? "asleep" : "awake"); },
            .sessionLocked = [this](bool locked) { events.push_back(locked ? "locked" : "unlocked"); },
            .wokeFromSleep = [this] { events.push_back("woke"); },
        });
    }

    bool waitFor(std::size_t count) {
        return test::spinUntil([&] { return events.size() >= count; });
    }
};

TEST(SessionEventsLinux, FollowsTheLoginManagerAndTheScreenSaver) {
    PrivateBus bus;
    DbusMock logind(bus, "logind");
    DbusMock screenSaver(bus, "freedesktop_screensaver");
    BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(kLogin));
    ASSERT_TRUE(connection.waitForName(QStringLiteral("org.freedesktop.ScreenSaver")));
    auto sessionPath =
        connection
            .call(kLogin, kLoginPath, kMock, QStringLiteral("AddSession"),
                  {QStringLiteral("c1"), QStringLiteral("seat0"), 1000u, QStringLiteral("someone"), true})
            .arguments()
            .value(0)
            .toString();
    ASSERT_FALSE(sessionPath.isEmpty());

    auto events = makeSessionEvents(*connection, *connection, QStringLiteral("c1"));
    Recorder recorder(*events);

    const QString session = QStringLiteral("org.freedesktop.login1.Session");
    connection.call(kLogin, sessionPath, session, QStringLiteral("Lock"));
    connection.call(kLogin, sessionPath, session, QStringLiteral("Unlock"));
    connection.call(kLogin, sessionPath, session, QStringLiteral("SetLockedHint"), {true});
    auto emitSleep = [&](bool sleeping) {
        connection.call(kLogin, kLoginPath, kMock, QStringLiteral("EmitSignal"),
                        {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                         QStringLiteral("b"), QVariantList{QVariant::fromValue(QDBusVariant(sleeping))}});
    };
    emitSleep(true);
    emitSleep(false);
    const QString saver = QStringLiteral("org.freedesktop.ScreenSaver");
    connection.call(saver, QStringLiteral("/org/freedesktop/ScreenSaver"), saver, QStringLiteral("SetActive"),
                    {true});
    connection.call(kLogin, sessionPath, session, QStringLiteral("SetLockedHint"), {false});
    connection.call(saver, QStringLiteral("/org/freedesktop/ScreenSaver"), saver, QStringLiteral("SetActive"),
                    {false});

    ASSERT_TRUE(recorder.waitFor(7));
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"locked", "unlocked", "locked", "woke", "asleep",
                                                         "unlocked", "awake"}));
}

TEST(SessionEventsLinux, HearsOnlyItsOwnSession) {
    PrivateBus bus;
    DbusMock logind(bus, "logind");
    BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(kLogin));
    QString paths[2];
    int i = 0;
    for (const QString& id : {QStringLiteral("c1"), QStringLiteral("c2")}) {
        paths[i++] = connection
                         .call(kLogin, kLoginPath, kMock, QStringLiteral("AddSession"),
                               {id, QStringLiteral("seat0"), 1000u, QStringLiteral("someone"), true})
                         .arguments()
                         .value(0)
                         .toString();
    }

    auto events = makeSessionEvents(*connection, *connection, QStringLiteral("c2"));
    Recorder recorder(*events);
    const QString session = QStringLiteral("org.freedesktop.login1.Session");
    connection.call(kLogin, paths[0], session, QStringLiteral("Lock"));
    connection.call(kLogin, paths[0], session, QStringLiteral("SetLockedHint"), {true});
    connection.call(kLogin, paths[1], session, QStringLiteral("Unlock"));

    ASSERT_TRUE(recorder.waitFor(1));
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"unlocked"});
}

TEST(SessionEventsLinux, TakesGnomeShellsScreenSaverToo) {
    PrivateBus bus;
    DbusMock screenSaver(bus, "gnome_screensaver");
    BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(QStringLiteral("org.gnome.ScreenSaver")));

    // No login manager on this bus: the screen saver is still heard.
    auto events = makeSessionEvents(*connection, *connection, QString());
    Recorder recorder(*events);
    const QString saver = QStringLiteral("org.gnome.ScreenSaver");
    connection.call(saver, QStringLiteral("/org/gnome/ScreenSaver"), saver, QStringLiteral("SetActive"),
                    {true});
    connection.call(saver, QStringLiteral("/org/gnome/ScreenSaver"), saver, QStringLiteral("SetActive"),
                    {false});

    ASSERT_TRUE(recorder.waitFor(2));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"asleep", "awake"}));
}

}  // namespace
}  // namespace quillfen
