#include "platform/linux/IdleTimeLinux.h"

#include <gtest/gtest.h>

#include "platform/linux/WaylandConnection.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/HeadlessCompositor.h"
#include "support/ManualDelay.h"
#include "support/QtTestSupport.h"
#include "support/StandInCompositor.h"

namespace quillfen {
namespace {

using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;
using test::StandInCompositor;
using test::VirtualDisplay;

const QString kMutter = QStringLiteral("org.gnome.Mutter.IdleMonitor");

// What every way is made with in a test: a clock that stands still and a delay moved by hand.
struct Ways {
    test::FixedClock clock{test::at("2026-01-05T14:00:00Z")};
    test::ManualDelay delay;
    test::CapturedSystemLog log;

    IdleTimeParts parts(SessionType session, std::shared_ptr<WaylandConnection> wayland, QDBusConnection bus,
                        std::string x11Display = {}) {
        return IdleTimeParts{
            session, std::move(wayland), std::move(bus), std::move(x11Display), clock, delay, 3, 1};
    }
    bool chosen(const std::string& way) {
        return test::spinUntil([&] {
            for (const auto& line : log.lines)
                if (line == "sensing: idle time from " + way) return true;
            return false;
        });
    }
    bool said(const std::string& start) const {
        for (const auto& line : log.lines)
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }
};

// A session bus that is not there: Mutter is silent at once.
QDBusConnection noBus() {
    return QDBusConnection(QStringLiteral("quillfen-no-bus"));
}

void setIdletime(BusConnection& connection, qulonglong milliseconds) {
    connection.call(kMutter, QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                    QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("SetIdletime"),
                    {QVariant::fromValue(milliseconds)});
}

TEST(IdleTimeLinux, ReadsTheCompositorsIdleMonitor) {
    PrivateBus bus;
    std::optional<DbusMock> mutter(std::in_place, bus, "mutter_idle_monitor", R"({"idletime": 4500})");
    BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(kMutter));
    Ways ways;

    auto idle = makeMutterIdleTime(*connection, ways.clock, ways.delay, 3, 1);
    ASSERT_TRUE(test::spinUntil([&] { return idle->answer() == IdleSource::Answer::answers; }));
    EXPECT_EQ(idle->secondsSinceLastInput(), 4.5);
    // Away: the count goes on with the clock, and the monitor is not asked again.
    setIdletime(connection, 600000);
    ways.clock.advance(595.5);
    EXPECT_EQ(idle->secondsSinceLastInput(), 600.0);
    // Back: its watch of the next input fires; a second without input, its idle watch; and the
    // next input is watched for again.
    const std::pair<qulonglong, double> moments[] = {{0, 0.0}, {1000, 1.0}, {20, 0.0}, {1000, 1.0}};
    for (const auto& [count, seconds] : moments) {
        setIdletime(connection, count);
        EXPECT_TRUE(test::spinUntil([&] { return idle->secondsSinceLastInput() == seconds; })) << count;
    }
    ways.clock.advance(59);
    EXPECT_EQ(idle->secondsSinceLastInput(), 60.0);

    // A shell started again is asked its count again, and watched again.
    mutter.reset();
    mutter.emplace(bus, "mutter_idle_monitor", R"({"idletime": 7000})");
    EXPECT_TRUE(test::spinUntil([&] { return idle->secondsSinceLastInput() == 7.0; }));
    setIdletime(connection, 0);
    EXPECT_TRUE(test::spinUntil([&] { return idle->secondsSinceLastInput() == 0.0; }));
}

TEST(IdleTimeLinux, ReadsTheXScreenSaverClock) {
    VirtualDisplay display;
    auto idle = makeX11IdleTime(display.name());
    EXPECT_EQ(idle->answer(), IdleSource::Answer::answers);
    auto seconds = idle->secondsSinceLastInput();
    ASSERT_TRUE(seconds.has_value());
    EXPECT_GE(*seconds, 0);
    EXPECT_LT(*seconds, 60);
}

TEST(IdleTimeLinux, TakesTheFirstSourceThatAnswers) {
    PrivateBus bus;
    VirtualDisplay display;
    BusConnection connection(bus);
    auto sources = [&](Ways& ways) {
        return makeIdleTime(ways.parts(SessionType::x11, nullptr, *connection, display.name()));
    };

    // Without the compositor, the X server answers.
    Ways withoutMutter;
    auto xOnly = sources(withoutMutter);
    ASSERT_TRUE(withoutMutter.chosen("the X server's screen saver"));
    ASSERT_TRUE(xOnly->secondsSinceLastInput().has_value());
    EXPECT_LT(*xOnly->secondsSinceLastInput(), 60);

    DbusMock mutter(bus, "mutter_idle_monitor", R"({"idletime": 3600000})");
    ASSERT_TRUE(connection.waitForName(kMutter));
    Ways withMutter;
    auto chosen = sources(withMutter);
    // Until the first way has answered, a person who has just started the application is there.
    EXPECT_EQ(chosen->secondsSinceLastInput(), 0.0);
    ASSERT_TRUE(withMutter.chosen("Mutter's IdleMonitor"));
    EXPECT_EQ(chosen->secondsSinceLastInput(), 3600.0);
}

TEST(IdleTimeLinux, GivesNothingWhereNoSourceAnswers) {
    PrivateBus bus;
    BusConnection connection(bus);
    Ways ways;
    auto mutter = makeMutterIdleTime(*connection, ways.clock, ways.delay, 3, 1);
    ASSERT_TRUE(test::spinUntil([&] { return mutter->answer() == IdleSource::Answer::silent; }));
    EXPECT_EQ(mutter->secondsSinceLastInput(), std::nullopt);
    // A display number no server listens on.
    EXPECT_EQ(makeX11IdleTime(":65000")->secondsSinceLastInput(), std::nullopt);
    auto neither = makeIdleTime(ways.parts(SessionType::x11, nullptr, *connection, ":65000"));
    ASSERT_TRUE(test::spinUntil([&] { return !neither->secondsSinceLastInput().has_value(); }));
    EXPECT_FALSE(ways.said("sensing: idle time from"));
}

// The protocols tell "idle" and "resumed", not a count: the count is the notification's time-out
// when it says idle, and grows with the clock from there.
TEST(IdleTimeLinux, TheCompositorsIdleProtocolsCountFromTheirNotifications) {
    struct Case {
        StandInCompositor::Offers offers;
        const char* chosen;
    } cases[] = {
        {{true, true, true}, "ext_idle_notifier_v1"},
        {{true, false, true}, "org_kde_kwin_idle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        StandInCompositor compositor(c.offers);
        Ways ways;
        auto connection = WaylandConnection::open(compositor.socketPath(), ways.delay, 3);
        auto idle = makeIdleTime(ways.parts(SessionType::wayland, connection, noBus()));
        ASSERT_TRUE(ways.chosen(std::string("the compositor's ") + c.chosen));
        ASSERT_TRUE(test::spinUntil([&] { return compositor.notifications().size() == 1; }));
        EXPECT_STREQ(compositor.notifications()[0].protocol, c.chosen);
        EXPECT_EQ(compositor.notifications()[0].timeoutMs, 1000u);
        EXPECT_EQ(idle->secondsSinceLastInput(), 0.0);

        compositor.idled();
        ASSERT_TRUE(test::spinUntil([&] { return idle->secondsSinceLastInput() == 1.0; }));
        ways.clock.advance(29);
        EXPECT_EQ(idle->secondsSinceLastInput(), 30.0);
        compositor.resumed();
        ASSERT_TRUE(test::spinUntil([&] { return idle->secondsSinceLastInput() == 0.0; }));
        ways.clock.advance(29);
        EXPECT_EQ(idle->secondsSinceLastInput(), 0.0);
        compositor.idled();
        ASSERT_TRUE(test::spinUntil([&] { return idle->secondsSinceLastInput() == 1.0; }));

        // A compositor that goes away takes its count with it: one line, then unknown.
        compositor.closeClients();
        ASSERT_TRUE(test::spinUntil([&] { return !idle->secondsSinceLastInput().has_value(); }));
        EXPECT_EQ(ways.log.lines.size(), 2u);
        EXPECT_TRUE(
            ways.said("wayland: the compositor at " + compositor.socketPath() + " closed the connection"));
    }
}

TEST(IdleTimeLinux, TheSessionIsWhatItsTypeSaysAndOtherwiseWaylandWhereAWaylandDisplayIsNamed) {
    const std::tuple<const char*, const char*, SessionType> cases[] = {
        {"wayland", "", SessionType::wayland},
        {"x11", "wayland-0", SessionType::x11},
        {"tty", "wayland-0", SessionType::wayland},
        {"", "", SessionType::x11},
    };
    for (const auto& [type, display, session] : cases) {
        std::map<std::string, std::string> environment;
        if (*type != '\0') environment["XDG_SESSION_TYPE"] = type;
        if (*display != '\0') environment["WAYLAND_DISPLAY"] = display;
        EXPECT_EQ(sessionTypeOf(environment), session) << type << " " << display;
    }
}

// Xwayland's clock sees only what reaches X11 windows: a Wayland session never reads it, and an
// X11 session never the compositor's protocols.
TEST(IdleTimeLinux, AWaylandSessionAsksOnlyItsCompositorAndAnX11SessionOnlyItsXServer) {
    VirtualDisplay xwayland;
    struct Case {
        const char* what;
        SessionType session;
        StandInCompositor::Offers offers;
        std::optional<std::string> chosen;
    } cases[] = {
        {"Wayland, neither protocol", SessionType::wayland, {}, std::nullopt},
        {"X11 beside a compositor", SessionType::x11, {true, true, true}, "the X server's screen saver"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInCompositor compositor(c.offers);
        Ways ways;
        auto connection = WaylandConnection::open(compositor.socketPath(), ways.delay, 3);
        auto idle = makeIdleTime(ways.parts(c.session, connection, noBus(), xwayland.name()));
        ASSERT_TRUE(test::spinUntil(
            [&] { return idle->secondsSinceLastInput().has_value() == c.chosen.has_value(); }));
        if (c.chosen) {
            EXPECT_TRUE(ways.chosen(*c.chosen));
            EXPECT_EQ(compositor.notifications().size(), 0u);
        }
        EXPECT_EQ(ways.log.lines.size(), c.chosen ? 1u : 0u);
    }
}

// On a real compositor the notification's time-out is short, so that the test is too.
constexpr double kShortTimeout = 0.25;

bool reads(IdleTime& idle, const std::function<bool(double)>& holds) {
    return test::spinUntil([&] {
        const auto seconds = idle.secondsSinceLastInput();
        return seconds && holds(*seconds);
    });
}

// The count grows without input, and each input brings it down to no more than the time since the
// input was given, however long this busy test took to look. ext-idle-notify is chosen wherever the
// compositor offers it: KWin offers both protocols, sway 1.7 only KDE's and later sways only
// ext-idle-notify.
void expectInputIsSeen(const test::HeadlessCompositor& compositor, const std::function<void()>& giveInput) {
    Ways ways;
    auto connection = WaylandConnection::open(compositor.socketPath().string(), ways.delay, 20);
    ASSERT_NE(connection, nullptr);
    auto parts = ways.parts(SessionType::wayland, connection, noBus());
    parts.now = systemClock();
    parts.notificationTimeoutSeconds = kShortTimeout;
    auto idle = makeIdleTime(parts);
    ASSERT_TRUE(test::spinUntil([&] { return connection->state() == WaylandConnection::State::listed; }));
    const std::string protocol =
        connection->offered("ext_idle_notifier_v1") ? "ext_idle_notifier_v1" : "org_kde_kwin_idle";
    ASSERT_TRUE(ways.chosen("the compositor's " + protocol))
        << (ways.log.lines.empty() ? "nothing logged" : ways.log.lines.front());
    const auto seen = [&](const char* what) {
        const auto given = std::chrono::steady_clock::now();
        giveInput();
        EXPECT_TRUE(reads(*idle, [&](double s) {
            return s <= std::chrono::duration<double>(std::chrono::steady_clock::now() - given).count() + 0.02;
        })) << what;
    };
    for (const char* away : {"after a first pause", "after a second pause"}) {
        EXPECT_TRUE(reads(*idle, [](double s) { return s > 2 * kShortTimeout; })) << away;
        seen(away);
    }
    for (int typing = 0; typing < 6; ++typing) seen("typing");
    EXPECT_TRUE(reads(*idle, [](double s) { return s > 2 * kShortTimeout; }));
}

TEST(IdleTimeLinux, OnSwayTypingIntoANativeWindowIsSeenAndWithoutInputTheCountGrows) {
    if (::access("/usr/bin/wtype", X_OK) != 0) GTEST_SKIP() << "wtype is not installed";
    test::HeadlessCompositor sway(test::HeadlessCompositor::Kind::sway);
    if (auto failure = sway.start()) GTEST_SKIP() << *failure;
    // wtype types into the focused window.
    auto window = sway.window("org.quillfen.TestWindow");
    expectInputIsSeen(sway, [&] { EXPECT_TRUE(sway.run({"/usr/bin/wtype", "x"})->endsWell()); });
}

TEST(IdleTimeLinux, OnKWinInputThroughItsFakeInputIsSeenAndWithoutInputTheCountGrows) {
    test::HeadlessCompositor kwin(test::HeadlessCompositor::Kind::kwin);
    kwin.grantFakeInput();
    if (auto failure = kwin.start()) GTEST_SKIP() << *failure;
    expectInputIsSeen(kwin, [&] {
        EXPECT_TRUE(kwin.run({kwin.client().string(), "input"})->endsWell())
            << "status 2: the compositor did not offer its fake input";
    });
}

}  // namespace
}  // namespace quillfen
