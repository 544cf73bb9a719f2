#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <utility>

#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "WindowChrome.h"
#include "support/ChildProcess.h"
#include "support/DesktopEntryValidation.h"
#include "support/HeadlessCompositor.h"
#include "support/QtTestSupport.h"
#include "support/ShellWithExtensions.h"
#include "support/SteppedClock.h"
#include "support/TestEnvironment.h"
#include "support/ThreadShortage.h"

#ifdef QUILLFEN_APP_EXECUTABLE

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// The threads the toolkit itself runs on: the main thread, its D-Bus thread and its drawing
// thread. A process limit of exactly these leaves none for the application's own work.
constexpr int kToolkitThreads = 3;

// A user at their process limit: every thread the application starts for its own work (the
// tick's, the readers', the keep-alive install's, the address scheme's) is refused. It runs on,
// ticking on its main thread, and quits on SIGTERM with status 0.
TEST(Main, AMachineShortOfThreadsNeverEndsTheApplication) {
    if (::geteuid() != 0) GTEST_SKIP() << "a process limit binds this user's other processes too";
    test::TestHome home;
    const unsigned user = test::unprivilegedUser();
    test::handOver(home.path(), user);
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string id = std::to_string(user);
    test::ChildProcess app({"/usr/bin/prlimit", "--nproc=" + std::to_string(kToolkitThreads), "/usr/bin/setpriv",
                            "--reuid=" + id, "--regid=" + id, "--clear-groups", QUILLFEN_BINARY},
                           {{"QT_QPA_PLATFORM", "offscreen"},
                            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.path() / "no-bus").string()},
                            {"TAVRYN_LOCATION_MODE", "none"},
                            {"TAVRYN_CLOUD_MIND", "0"},
                            // The leak check at exit needs a thread of its own.
                            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":detect_leaks=0"}});
    const auto data = home.dataDirectory();
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(data / "heartbeat.json"); }));
    EXPECT_FALSE(app.waitForExit(std::chrono::milliseconds(500)).has_value()) << "it ended";
    // The engine's tick, which appends the sample, never had a thread.
    const auto samples = fs::exists(data / "signal-log.json") ? test::readFile(data / "signal-log.json") : "[]";
    EXPECT_EQ(samples, "[]");

    ::kill(app.pid(), SIGTERM);
    const auto status = app.waitForExit(test::kPatience);
    ASSERT_TRUE(status.has_value()) << "it did not quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
}

// A quit asked for while the application is still starting, before its window system, its bus or
// its event loop are there, ends it the way a later one does, with status 0.
TEST(Main, AQuitAskedWhileItStartsEndsItWithStatusZero) {
    test::TestHome home;
    test::ChildProcess app({QUILLFEN_BINARY}, {{"QT_QPA_PLATFORM", "offscreen"},
                                               {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"},
                                               {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"},
                                               {"TAVRYN_LOCATION_MODE", "none"},
                                               {"TAVRYN_CLOUD_MIND", "0"}});
    ASSERT_TRUE(test::waitUntil([&] { return app.catches(SIGTERM) || !app.running(); },
                                test::kPatience));
    ::kill(app.pid(), SIGTERM);
    const auto status = app.waitForExit(test::kPatience);
    ASSERT_TRUE(status.has_value()) << "it went on running";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
}

using Kind = test::HeadlessCompositor::Kind;

// A Wayland desktop whose X11 programs run through Xwayland, and the way an input device comes to
// it, is used and goes again. Xwayland makes its own devices for the seat's as the seat gains them.
struct XwaylandDesktop {
    const char* name;
    Kind kind;
    const char* currentDesktop;
};

void PrintTo(const XwaylandDesktop& d, std::ostream* os) {
    *os << d.name;
}

// wlroots before 0.16 (sway 1.7) ends itself on a virtual pointer that comes while Xwayland runs:
// there wtype's virtual keyboard comes and goes instead.
bool swayTakesAVirtualPointer() {
    test::ChildProcess sway({"/usr/bin/sway", "--version"}, {}, STDOUT_FILENO);
    const std::string said = sway.readLine();
    int major = 0, minor = 0;
    std::sscanf(said.substr(said.rfind(' ') + 1).c_str(), "%d.%d", &major, &minor);
    return std::pair(major, minor) >= std::pair(1, 8);
}

// sway: a virtual pointer of wlroots'; KWin: a device of its fake input; GNOME Shell: a remote
// desktop session, whose devices Mutter makes as it starts and removes as it stops.
bool anInputDeviceComesAndGoes(const test::HeadlessCompositor& compositor, Kind kind) {
    if (kind == Kind::sway && !swayTakesAVirtualPointer())
        return compositor.run({"/usr/bin/wtype", "x"})->endsWell();
    if (kind != Kind::gnomeShell) {
        const char* mode = kind == Kind::sway ? "pointer" : "input";
        return compositor.run({compositor.client().string(), mode})->endsWell();
    }
    const QString mutter = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    const QString session = mutter + QStringLiteral(".Session");
    test::BusConnection bus(compositor.bus());
    if (!bus.waitForName(mutter)) return false;
    const QString path = bus.call(mutter, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), mutter,
                                  QStringLiteral("CreateSession"))
                             .arguments()
                             .value(0)
                             .value<QDBusObjectPath>()
                             .path();
    bus.call(mutter, path, session, QStringLiteral("Start"));
    bus.call(mutter, path, session, QStringLiteral("NotifyPointerMotionRelative"), {3.0, 2.0});
    constexpr uint kShiftKey = 42;
    for (bool pressed : {true, false})
        bus.call(mutter, path, session, QStringLiteral("NotifyKeyboardKeycode"), {kShiftKey, pressed});
    return bus.call(mutter, path, session, QStringLiteral("Stop")).type() == QDBusMessage::ReplyMessage;
}

std::size_t samplesIn(const fs::path& signalLog) {
    const auto samples = nlohmann::json::parse(test::readFile(signalLog), nullptr, false);
    return samples.is_array() ? samples.size() : 0;
}

class MainOnXwayland : public ::testing::TestWithParam<XwaylandDesktop> {};

// Qt's X11 layer ended the application on a device Xwayland had made and not yet attached to the
// seat. Each time the application lives on, and ticks when its minute comes.
TEST_P(MainOnXwayland, LivesThroughAnInputDeviceAddedUsedRemovedAndAddedAgain) {
    const auto& desktop = GetParam();
    if (!test::SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    test::HeadlessCompositor compositor(desktop.kind);
    compositor.withXwayland();
    if (desktop.kind == Kind::kwin) compositor.grantFakeInput();
    if (auto failure = compositor.start()) GTEST_SKIP() << *failure;
    // sway runs as another user where this run is root.
    if (!compositor.run({"/usr/bin/test", "-x", QUILLFEN_BINARY})->endsWell())
        GTEST_SKIP() << "the compositor's user may not run " << QUILLFEN_BINARY;

    // Started as the desktop's menu starts it, in the session's environment.
    const auto& home = compositor.home();
    test::SteppedClock clock(home / "clock", std::chrono::system_clock::now());
    auto environment = clock.environment();
    environment.insert({{"XDG_SESSION_TYPE", "wayland"},
                        {"XDG_CURRENT_DESKTOP", desktop.currentDesktop},
                        {"XDG_DATA_DIRS", (home / "system/share").string()},
                        {"XDG_CONFIG_DIRS", (home / "system/etc/xdg").string()},
                        {"TAVRYN_CLOUD_MIND", "0"},
                        {"TAVRYN_LOCATION_MODE", "none"}});
    if (desktop.kind == Kind::sway) {
        const std::string noBus = "unix:path=" + (home / "no-bus").string();
        environment.insert({{"DBUS_SESSION_BUS_ADDRESS", noBus}, {"DBUS_SYSTEM_BUS_ADDRESS", noBus}});
        // Qt 6.8's X11 layer asks the settings portal for its version at start and, with no bus
        // to ask, keeps the call's watcher for ever: the sanitizers' leak check at exit would take
        // that for the application's. Its stack is whole only when unwound slowly.
        const auto toolkitLeaks = home / "toolkit-leaks.supp";
        test::writeFile(toolkitLeaks, "leak:QGenericUnixServices::QGenericUnixServices\n");
        environment.insert({{"LSAN_OPTIONS", "suppressions=" + toolkitLeaks.string() + ":fast_unwind_on_malloc=0"}});
    }
    auto app = compositor.run({QUILLFEN_BINARY}, environment);
    const auto signalLog = home / ".local/share/org.quillfen.Quillfen/signal-log.json";
    ASSERT_TRUE(test::waitUntil([&] { return samplesIn(signalLog) > 0 || !app->running(); }));
    ASSERT_TRUE(app->running()) << "it ended at start";

    for (const char* round : {"a device added, used and removed", "added, used and removed again"}) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(anInputDeviceComesAndGoes(compositor, desktop.kind));
        // The application's clock stands still, and so does it until the X server wakes it: with a
        // change of the root window's properties, which it watches, after all the device's news.
        const auto before = samplesIn(signalLog);
        clock.advance(std::chrono::minutes(1));
        ASSERT_TRUE(compositor
                        .run({"/usr/bin/xprop", "-root", "-f", "_QUILLFEN_TEST_NUDGE", "32c", "-set",
                              "_QUILLFEN_TEST_NUDGE", std::to_string(before)})
                        ->endsWell());
        EXPECT_TRUE(test::waitUntil([&] { return samplesIn(signalLog) > before || !app->running(); }));
        ASSERT_TRUE(app->running()) << "it ended, status "
                                    << app->waitForExit(std::chrono::milliseconds(0)).value_or(-1);
        EXPECT_GT(samplesIn(signalLog), before) << "no tick";
    }
    ::kill(app->pid(), SIGTERM);
    const auto status = app->waitForExit(test::kPatience);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << status.value_or(-1);
}

INSTANTIATE_TEST_SUITE_P(Compositors, MainOnXwayland,
                         ::testing::Values(XwaylandDesktop{"sway", Kind::sway, "sway"},
                                           XwaylandDesktop{"KWin", Kind::kwin, "KDE"},
                                           XwaylandDesktop{"GnomeShell", Kind::gnomeShell, "GNOME"}),
                         [](const auto& info) { return std::string(info.param.name); });

// GNOME's own Quit (its dash's, its overview's, its application grid's) on the application it ties
// the windows to, asked of GNOME Shell itself as a person's click asks it: the application ends with
// status 0, its keep-alive taken down first so that nothing starts it again, and GNOME lists none of
// its windows. Started as its menu entry starts it, past its first start, on a GNOME with no tray, so
// that its rhythm window shows.
TEST(MainOnGnomeShell, GnomesOwnQuitEndsTheApplicationAndItsKeepAlive) {
    test::ShellWithExtensions session;
    session.withXwayland = true;
    const auto home = session.shell.home();
    // Where an install for the user puts the entry, read by the shell at its start.
    const auto entry = *DesktopEntry::text(QUILLFEN_BINARY);
    test::writeFile(home / ".local/share/applications/org.quillfen.Quillfen.desktop", entry);
    fs::create_directories(home / ".local/share/org.quillfen.Quillfen");
    Promise promise;
    promise.dayPhrase = "a long morning";
    promise.moves.push_back({Uuid::random(), MoveLabel::stepOutside, "step outside for five"});
    ASSERT_TRUE(
        PromiseStore(std::make_shared<FileLogStore>(home / ".local/share/org.quillfen.Quillfen/promise.json"))
            .save(promise));
    if (auto failure = session.start()) GTEST_SKIP() << *failure;
    ASSERT_TRUE(session.turnOnTheSwitcher());
    const auto unit = [&] {
        test::ScopedEnv config("XDG_CONFIG_HOME", (home / ".config").string());
        return LaunchAgent::unitFile();
    }();
    // As the copy's keep-alive would stand, had it been installed.
    test::writeFile(unit, "[Unit]\n");

    auto app = session.shell.run(test::execOf(entry, "[Desktop Entry]"),
                                 {{"XDG_SESSION_TYPE", "wayland"},
                                  {"XDG_CURRENT_DESKTOP", "GNOME"},
                                  {"XDG_DATA_DIRS", (home / "system/share").string()},
                                  {"TAVRYN_CLOUD_MIND", "0"},
                                  {"TAVRYN_LOCATION_MODE", "none"}});
    const QString rhythm = WindowChrome::rhythm(false).title;
    QString quitting;
    // The application's start, and the shell's reading of its window and of its actions, may each
    // take the tests' patience on a busy machine.
    ASSERT_TRUE(test::spinUntil(
        [&] {
            const auto reply =
                session.connection->ask(test::kShell, QStringLiteral("/org/quillfen/Test/FocusSwitcher"),
                                        QStringLiteral("org.quillfen.Test.FocusSwitcher"),
                                        QStringLiteral("QuitApplicationOf"), {rhythm});
            if (reply.type() == QDBusMessage::ReplyMessage) quitting = reply.arguments().value(0).toString();
            return !quitting.isEmpty() || !app->running();
        },
        2 * test::kPatience))
        << "GNOME never tied a window titled " << rhythm.toStdString() << " to an application with a Quit";
    ASSERT_FALSE(quitting.isEmpty()) << "it ended before GNOME's Quit, status "
                                     << app->waitForExit(std::chrono::milliseconds(0)).value_or(-1);
    EXPECT_EQ(quitting.toStdString(), "org.quillfen.Quillfen.desktop");
    const auto status = app->waitForExit(test::kPatience);
    ASSERT_TRUE(status.has_value()) << "it went on running after GNOME's Quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    EXPECT_FALSE(fs::exists(unit));
}

}  // namespace
}  // namespace quillfen

#endif
