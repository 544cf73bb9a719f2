#include "platform/linux/WaylandConnection.h"

#include <gtest/gtest.h>

#include <wayland-client.h>

#include "support/CapturedSystemLog.h"
#include "support/ManualDelay.h"
#include "support/QtTestSupport.h"
#include "support/StandInCompositor.h"

namespace quillfen {
namespace {

using State = WaylandConnection::State;
using test::StandInCompositor;

TEST(WaylandConnection, ListsTheGlobalsWithoutWaitingAndLetsSeveralClientsBindThem) {
    StandInCompositor compositor;
    // By name in the runtime folder, as a session names it.
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", compositor.runtimeFolder().path().string());
    test::CapturedSystemLog log;
    test::ManualDelay delay;

    auto connection = WaylandConnection::open("wayland-test", delay, 2.0);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->state(), State::listing);
    EXPECT_EQ(connection->offered("wl_seat"), std::nullopt);
    EXPECT_EQ(connection->bind<wl_seat>(wl_seat_interface, 1), nullptr);
    int settled = 0;
    auto whenSettled = connection->whenSettled([&] { ++settled; });

    ASSERT_TRUE(test::spinUntil([&] { return connection->state() == State::listed; }));
    EXPECT_EQ(settled, 1);
    EXPECT_EQ(connection->offered("wl_seat"), 7u);
    EXPECT_EQ(connection->offered("ext_idle_notifier_v1"), std::nullopt);
    // Each client binds its own object, at the version it asks for or the compositor's lower one.
    auto* first = connection->bind<wl_seat>(wl_seat_interface, 1);
    auto* second = connection->bind<wl_seat>(wl_seat_interface, 99);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(wl_seat_get_version(first), 1u);
    EXPECT_EQ(wl_seat_get_version(second), 7u);
    EXPECT_EQ(connection->bind<wl_shm>(wl_shm_interface, 1), nullptr);
    connection->flush();
    int late = 0;
    auto lateSettled = connection->whenSettled([&] { ++late; });
    EXPECT_EQ(late, 1);

    // An answer in time leaves nothing waiting that could still end the connection.
    delay.pass(60);
    test::spinFor(std::chrono::milliseconds(20));
    EXPECT_EQ(connection->state(), State::listed);
    EXPECT_EQ(settled, 1);
    EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    wl_seat_destroy(first);
    wl_seat_destroy(second);
}

TEST(WaylandConnection, ACompositorThatDoesNotAnswerOrGoesAwayIsOneLogLineAndThenUnknown) {
    struct Case {
        const char* what;
        StandInCompositor::Behaviour behaviour;
        bool closedAfterListing;
        const char* logged;
    } cases[] = {
        {"never answers", StandInCompositor::Behaviour::neverAnswers, false,
         "did not list its globals within 2.0 s"},
        {"goes away later", StandInCompositor::Behaviour::answers, true, "closed the connection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInCompositor compositor(StandInCompositor::Offers{}, c.behaviour);
        test::CapturedSystemLog log;
        test::ManualDelay delay;
        auto connection = WaylandConnection::open(compositor.socketPath(), delay, 2.0);
        ASSERT_NE(connection, nullptr);
        int settled = 0;
        auto whenSettled = connection->whenSettled([&] { ++settled; });

        if (c.closedAfterListing) {
            ASSERT_TRUE(test::spinUntil([&] { return connection->state() == State::listed; }));
            compositor.closeClients();
        }
        test::spinFor(std::chrono::milliseconds(20));
        delay.pass(1.9);
        if (c.behaviour == StandInCompositor::Behaviour::neverAnswers) {
            EXPECT_EQ(connection->state(), State::listing);
        }
        delay.pass(0.2);
        ASSERT_TRUE(test::spinUntil([&] { return connection->state() == State::lost; }));

        // Nothing more is said, asked or sent, however long it goes on.
        test::spinFor(std::chrono::milliseconds(20));
        delay.pass(60);
        connection->flush();
        EXPECT_EQ(connection->offered("wl_seat"), std::nullopt);
        EXPECT_EQ(connection->bind<wl_seat>(wl_seat_interface, 1), nullptr);
        EXPECT_EQ(settled, 1);
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find("wayland: the compositor at " + compositor.socketPath()),
                  std::string::npos)
            << log.lines[0];
        EXPECT_NE(log.lines[0].find(c.logged), std::string::npos) << log.lines[0];
    }
}

TEST(WaylandConnection, NoCompositorToConnectToIsNoConnectionAndOneLogLine) {
    test::TempDir empty;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", empty.path().string());
    test::ManualDelay delay;
    for (const std::string& name :
         {std::string(), (empty.path() / "wayland-0").string(), std::string("wayland-1")}) {
        SCOPED_TRACE(name);
        test::CapturedSystemLog log;
        EXPECT_EQ(WaylandConnection::open(name, delay, 2.0), nullptr);
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(log.lines[0].rfind("wayland: no Wayland compositor", 0), 0u) << log.lines[0];
    }
}

}  // namespace
}  // namespace quillfen
