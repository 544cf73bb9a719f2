#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QLibraryInfo>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <set>
#include <sstream>

#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "SingleInstance.h"
#include "StartRequest.h"
#include "Support/ChildEnvironment.h"
#include "Support/Iso8601.h"
#include "support/DesktopEntryValidation.h"
#include "support/DesktopSession.h"
#include "support/GLibActionGroup.h"
#include "support/NotificationCalls.h"
#include "support/SteppedClock.h"

// X11 last: its macros break other headers.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::execOf;

std::map<std::string, std::string> withEnvironment(std::map<std::string, std::string> extra) {
    auto env = test::DesktopSession::current().childEnvironment();
    env.insert(extra.begin(), extra.end());
    return env;
}

bool exitedWith(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

TEST(Main, TwoStartsOnOneHomeLeaveOneRunningAndTheSecondEndsWithStatusZero) {
    test::TestHome home;
    const auto heartbeat = home.dataDirectory() / "heartbeat.json";
    test::ChildProcess first({QUILLFEN_BINARY}, withEnvironment({}));
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(heartbeat); }));

    test::ChildProcess second({QUILLFEN_BINARY}, withEnvironment({}));
    EXPECT_TRUE(exitedWith(second.waitForExit(test::kPatience), 0));
    // A one-shot run takes no lock and runs beside the instance.
    test::ChildProcess oneShot({QUILLFEN_BINARY}, withEnvironment({{"TAVRYN_DEMO_NUDGE", ""}}));
    EXPECT_FALSE(oneShot.waitForExit(std::chrono::milliseconds(1500)).has_value());
    EXPECT_TRUE(first.running());

    kill(first.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(first.waitForExit(test::kPatience), 0));
    EXPECT_TRUE(fs::exists(home.path() / ".cache/org.quillfen.Quillfen/singleton.lock"));
}

TEST(Main, RunsOnTheDesktopWithItsStoneInTheTrayAndEndsCleanlyOnSigterm) {
    test::TestHome home;
    const auto& session = test::DesktopSession::current();
    // A boundary this version does not know is read as the default and written back.
    const auto settings = home.path() / ".config/org.quillfen.Quillfen/Quillfen.conf";
    test::writeFile(settings, "[General]\ninterruptBoundary=sometimes\n");
    test::ChildProcess app({QUILLFEN_BINARY}, withEnvironment({}));

    EXPECT_TRUE(test::waitUntil(
        [&] { return test::findWindowOfClassBelow(session.display(), "trayer", "quillfen") != 0; }))
        << "the tray never took the stone";
    const auto data = home.dataDirectory();
    ASSERT_TRUE(test::waitUntil(
        [&] { return fs::exists(data / "heartbeat.json") && fs::exists(data / "signal-log.json"); }))
        << "no tick ran";
    EXPECT_NE(test::readFile(settings).find("interruptBoundary=effortStopsChanging"), std::string::npos);
    for (const auto& file : {data / "heartbeat.json", data / "signal-log.json", settings,
                             home.path() / ".cache/org.quillfen.Quillfen/singleton.lock"}) {
        EXPECT_EQ(test::modeOf(file), 0600u) << file;
    }
    for (const auto& folder : {data, home.path() / ".cache/org.quillfen.Quillfen", home.familyDirectory(),
                               settings.parent_path()})
        EXPECT_EQ(test::modeOf(folder), 0700u) << folder;

    kill(app.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
}

std::string journal(const test::TestHome& home) {
    const auto file = home.familyDirectory() / "decisions-log.jsonl";
    return fs::exists(file) ? test::readFile(file) : "";
}

TEST(Main, ASecondStartHandsItsAddressToTheRunningCopyBeforeItEnds) {
    test::TestHome home;
    // The copy the desktop starts for an address keeps that address.
    test::ChildProcess first({QUILLFEN_BINARY, "tavryn-stone://keep?material=flint&seed=73ce"}, withEnvironment({}));
    ASSERT_TRUE(test::waitUntil(
        [&] { return journal(home).find("kept flint-73ce from the web handoff") != std::string::npos; }))
        << journal(home);
    test::ChildProcess second({QUILLFEN_BINARY, "tavryn-stone://keep?material=quartz&seed=a119"}, withEnvironment({}));
    EXPECT_TRUE(exitedWith(second.waitForExit(test::kPatience), 0));
    // Handed over before the second copy ended, not later.
    EXPECT_NE(journal(home).find("kept quartz-a119 from the web handoff (was flint-73ce)"), std::string::npos)
        << journal(home);
    EXPECT_NE(test::readFile(home.dataDirectory() / "stone-identity.json").find("quartz-a119"), std::string::npos);
    kill(first.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(first.waitForExit(test::kPatience), 0));
}

TEST(Main, TheWindowSelfTestCyclesTheWindowsAndReports) {
    test::TestHome home;
    test::ChildProcess app({QUILLFEN_BINARY}, withEnvironment({{"TAVRYN_QA_WINDOW_CYCLE", ""}}), STDOUT_FILENO);
    EXPECT_EQ(app.readLine(), "QA_WINDOW_CYCLE_OK");
    EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
}

// Two programs of the user's, each a window of its own class, to turn between.
class TwoPrograms {
public:
    explicit TwoPrograms(const std::string& display) : x_(XOpenDisplay(display.c_str())) {
        if (x_ == nullptr) return;
        for (int i = 0; i < 2; ++i) {
            windows_[i] = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 40 + 300 * i, 60, 280, 200, 0, 0, 0);
            std::string name = i == 0 ? "editor" : "browser";
            XClassHint hint{name.data(), name.data()};
            XSetClassHint(x_, windows_[i], &hint);
            XMapWindow(x_, windows_[i]);
        }
        XSync(x_, False);
    }
    ~TwoPrograms() {
        if (x_ != nullptr) XCloseDisplay(x_);
    }
    TwoPrograms(const TwoPrograms&) = delete;
    TwoPrograms& operator=(const TwoPrograms&) = delete;

    bool ready() const { return x_ != nullptr; }
    unsigned long window(int i) const { return windows_[i]; }

    // The window the window manager last made active, as it says on the root window.
    unsigned long active() const {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, left = 0;
        unsigned char* data = nullptr;
        unsigned long window = 0;
        if (XGetWindowProperty(x_, DefaultRootWindow(x_), XInternAtom(x_, "_NET_ACTIVE_WINDOW", False), 0, 1,
                               False, XA_WINDOW, &type, &format, &count, &left, &data) == Success &&
            type == XA_WINDOW && format == 32 && count == 1)
            window = *reinterpret_cast<unsigned long*>(data);
        if (data != nullptr) XFree(data);
        return window;
    }

private:
    Display* x_ = nullptr;
    unsigned long windows_[2] = {0, 0};
};

// Run on the test's desktop, or on the one whose environment is given.
bool xdotool(std::vector<std::string> arguments, const std::map<std::string, std::string>& desktop =
                                                     test::DesktopSession::current().childEnvironment()) {
    arguments.insert(arguments.begin(), "xdotool");
    test::ChildProcess tool(arguments, desktop);
    return exitedWith(tool.waitForExit(test::kPatience), 0);
}

nlohmann::json jsonFile(const fs::path& file) {
    if (!fs::exists(file)) return nullptr;
    return nlohmann::json::parse(test::readFile(file), nullptr, false);
}

std::vector<std::pair<std::string, std::string>> journalEntries(const test::TestHome& home) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::istringstream lines(journal(home));
    for (std::string line; std::getline(lines, line);) {
        auto entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_object()) entries.emplace_back(entry.value("kind", ""), entry.value("detail", ""));
    }
    return entries;
}

std::string codexLine(TimePoint at, const std::string& type, const nlohmann::json& payload) {
    return nlohmann::json{{"timestamp", Iso8601::format(at)}, {"type", type}, {"payload", payload}}.dump() + "\n";
}

TEST(Main, AMorningOfWorkBesideARunningCodexTaskBringsOneNudgeThatTheUserFollowsOutsideAnHourLater) {
    if (!test::SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    test::TestHome home;
    const auto& session = test::DesktopSession::current();
    test::DbusMock daemon(session.bus(), "notification_daemon", R"({"capabilities": "body actions"})");
    test::DbusMock logind(session.bus(), "logind");
    test::BusConnection bus(session.bus());
    ASSERT_TRUE(bus.waitForName(test::kNotificationsService));
    ASSERT_TRUE(bus.waitForName(QStringLiteral("org.freedesktop.login1")));
    const QString sessionPath =
        bus.call(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                 test::kMockInterface, QStringLiteral("AddSession"),
                 {QStringLiteral("c1"), QStringLiteral("seat0"), 1000u, QStringLiteral("someone"), true})
            .arguments()
            .value(0)
            .toString();
    ASSERT_FALSE(sessionPath.isEmpty());

    // A user who kept a promise and has a Codex task under way since a little before nine.
    ASSERT_TRUE(home.keepAPromise());
    time_t today = std::time(nullptr);
    today -= today % 86400;
    const TimePoint nine = std::chrono::system_clock::from_time_t(today + 9 * 3600);
    test::SteppedClock clock(home.path() / "clock", nine);
    const auto codexLog = home.path() / ".codex/sessions/rollout-task.jsonl";
    const auto startedAt = nine - std::chrono::minutes(3);
    test::writeFile(codexLog, codexLine(startedAt, "session_meta", {{"cwd", "/home/someone/app"}, {"id", "t1"}}) +
                                  codexLine(startedAt, "event_msg", {{"type", "task_started"}}));

    TwoPrograms programs(session.display());
    ASSERT_TRUE(programs.ready());
    auto env = withEnvironment(clock.environment());
    env.insert({{"TAVRYN_OBSERVE_ONLY", "0"}, {"TAVRYN_LOCATION_MODE", "none"}, {"TAVRYN_CLOUD_MIND", "0"},
                {"XDG_SESSION_ID", "c1"}});
    test::ChildProcess app({QUILLFEN_BINARY}, env);
    const auto data = home.dataDirectory();
    const auto heartbeat = data / "heartbeat.json";
    unsigned long stone = 0;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            stone = test::findWindowOfClassBelow(session.display(), "trayer", "quillfen");
            return stone != 0 && fs::exists(heartbeat);
        }));

    // The application has handled every message sent to it before this call. It hears the login
    // manager on a connection of its own (the system bus, here the same bus): a ping answered on
    // each of its connections says they have read, and handed to the main thread, all that came
    // before; then a look at its object from the desktop, which it answers on its main thread, after
    // them.
    auto applicationHeard = [&] {
        const auto names = bus->interface()->registeredServiceNames().value();
        for (const QString& name : names) {
            if (!name.startsWith(QLatin1Char(':')) ||
                bus->interface()->servicePid(name).value() != static_cast<uint>(app.pid()))
                continue;
            auto ping = QDBusMessage::createMethodCall(name, QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.DBus.Peer"),
                                                       QStringLiteral("Ping"));
            if (bus->call(ping, QDBus::Block, static_cast<int>(test::kPatience.count())).type() !=
                QDBusMessage::ReplyMessage)
                return false;
        }
        return test::applicationAnswers(*bus);
    };
    // Whether a thread the application started for its work (the tick's decision, a reading of
    // the agents' logs) still runs. Such a thread keeps the program's name, as a thread does
    // unless it names itself; the toolkit's threads name themselves.
    const fs::path tasks = fs::path("/proc") / std::to_string(app.pid()) / "task";
    auto working = [&] {
        const std::string program = test::readFile(tasks / std::to_string(app.pid()) / "comm");
        std::error_code error;
        for (fs::directory_iterator task(tasks, error), end; !error && task != end; task.increment(error)) {
            if (task->path().filename() != std::to_string(app.pid()) &&
                test::readFile(task->path() / "comm") == program)
                return true;
        }
        return false;
    };
    // The application has taken in all it was given and finished what it started from it, so
    // the clock may move on. A thread that has ended has handed its result to the main thread,
    // which handles it before it answers a message sent after; the result may start more work,
    // which the last look finds. A window turn comes on an X connection of its own, read in the
    // same pass of the event loop as the messages it answers: the first answer may leave before
    // that read, the second after it.
    auto settled = [&] {
        return test::waitUntil(
            [&] { return !working() && applicationHeard() && applicationHeard() && !working(); });
    };
    auto lastSampleAt = [&]() -> std::optional<TimePoint> {
        const auto samples = jsonFile(data / "signal-log.json");
        if (!samples.is_array() || samples.empty()) return std::nullopt;
        return Iso8601::parse(samples.back().value("timestamp", ""));
    };
    // Woken by a message, the application finds the time come and ticks. The tick has read the
    // desktop, and judged the face, once its sample is in the signal log: were the clock moved
    // on before that, the tick would read the next minute's time, and the next tick the same.
    auto tick = [&] {
        return applicationHeard() && test::waitUntil([&] {
                   const auto at = lastSampleAt();
                   return at && *at >= clock.now();
               }) &&
               settled();
    };

    // One minute: at the desk, every tenth the Codex task runs a command and in three minutes of
    // four the user turns to the other program; the pointer passes over the stone in the tray.
    // All of it is in the application's hands before the clock moves on, so the minute's tick
    // sees all of it and nothing of the next. Forty-five switches an hour turn the face neutral
    // once, between its lines at 30 and 60.
    int minute = 0;
    int turns = 0;
    auto live = [&](bool atDesk) {
        ++minute;
        if (atDesk && minute % 10 == 0) {
            std::ofstream(codexLog, std::ios::app)
                << codexLine(clock.now(), "response_item",
                             {{"type", "function_call"}, {"name", "shell"}, {"call_id", std::to_string(minute)}});
        }
        if (atDesk && minute % 4 != 0) {
            const unsigned long program = programs.window(turns++ % 2);
            EXPECT_TRUE(xdotool({"windowactivate", std::to_string(program)}));
            // xdotool's own wait for it looks only every few dozen milliseconds.
            EXPECT_TRUE(test::waitUntil([&] { return programs.active() == program; })) << "minute " << minute;
        }
        // Once the X server has taken the pointer's move, it has also written the turn before it
        // to every program that listens.
        EXPECT_TRUE(xdotool({"mousemove", "--window", std::to_string(stone), std::to_string(2 + minute % 2), "4",
                             "mousemove", "600", "500"}));
        EXPECT_TRUE(settled()) << "minute " << minute;
        clock.advance(std::chrono::seconds(60));
        return tick();
    };
    // Its start is over once it answers: the clock must not jump past the time-outs of the
    // calls it makes while it starts. Its first tick came with its start.
    ASSERT_TRUE(test::waitUntil(applicationHeard));
    ASSERT_TRUE(tick());
    auto nudges = [&] { return test::notifyCalls(bus).size(); };

    // Two hours at the desk, turning between two programs: the nudge comes once the stretch is
    // long enough, while the task still runs. Each minute's decision is in before the next, so
    // the nudge is seen at the minute it came.
    while (nudges() == 0 && minute < 135)
        ASSERT_TRUE(live(true)) << "minute " << minute;
    ASSERT_EQ(nudges(), 1u) << journal(home);
    EXPECT_GE(minute, 120);
    // The user lets it be and works on for another hour without a break: the same stretch
    // earns nothing more.
    for (const int nudgedAt = minute; minute < nudgedAt + 60;)
        ASSERT_TRUE(live(true)) << "minute " << minute;
    EXPECT_EQ(nudges(), 1u);
    const auto calls = test::notifyCalls(bus);
    EXPECT_EQ(calls[0].actions, (QStringList{"default", "", "TAVRYN_STEP_OUTSIDE", "Step outside", "TAVRYN_NOT_NOW",
                                             "Not now"}));
    // The ask's wording is drawn at random; it always tells the pattern and the user's own move.
    for (const char* part : {"long afternoon this week", "tep outside for five"})
        EXPECT_TRUE(calls[0].summary.contains(QLatin1String(part))) << calls[0].summary.toStdString();

    // Then they take "Step outside", lock the screen and come back eight minutes later. The
    // nudge was judged unanswered and ignored 25 minutes after it came; the late answer
    // changes no judgement.
    const auto outcomes = data / "nudge-outcomes.json";
    EXPECT_EQ(jsonFile(outcomes).value("history", nlohmann::json::array()).size(), 1u) << test::readFile(outcomes);
    test::emitFromNotificationDaemon(bus, QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                                     {uint(1), QStringLiteral("TAVRYN_STEP_OUTSIDE")});
    const QString login = QStringLiteral("org.freedesktop.login1");
    const QString loginSession = QStringLiteral("org.freedesktop.login1.Session");
    bus.call(login, sessionPath, loginSession, QStringLiteral("Lock"));
    EXPECT_TRUE(settled());
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(live(false));
    // Back half a minute after the last locked tick: a real clock never reads one instant twice.
    clock.advance(std::chrono::seconds(30));
    // The unlock ticks at once.
    bus.call(login, sessionPath, loginSession, QStringLiteral("Unlock"));
    EXPECT_TRUE(tick());
    // Back at the desk with a fresh stretch: no second nudge.
    EXPECT_TRUE(live(true));
    EXPECT_TRUE(live(true));

    kill(app.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));

    std::cerr << journal(home) << test::readFile(data / "signal-log.json") << "\n" << test::readFile(data / "nudge-outcomes.json") << "\n";
    EXPECT_EQ(test::notifyCalls(bus).size(), 1u);
    using Entry = std::pair<std::string, std::string>;
    EXPECT_EQ(journalEntries(home),
              (std::vector<Entry>{
                  {"stone", "menu bar, desktop pane, panel, mirror and onboarding wear pebble-1c7e: no stone kept yet "
                            "(nothing has come from the web handoff)"},
                  {"face", "calm to neutral"},
                  {"face", "neutral to calm (resting: notPresent)"},
                  {"reset", "fresh start after 8m locked"},
                  {"face", "calm (resting: notPresent) to calm"},
              }));
    const auto history = jsonFile(outcomes);
    ASSERT_EQ(history.value("history", nlohmann::json::array()).size(), 1u) << history;
    EXPECT_EQ(history["history"][0].value("outcome", ""), "ignored");
    EXPECT_EQ(history["history"][0].value("partOfDay", ""), "morning");
    EXPECT_EQ(history.value("pending", nlohmann::json::array()).size(), 0u);
    EXPECT_EQ(jsonFile(data / "nudge-budget.json").value("count", 0), 1);
    // The stretch grew to the nudge, read nothing while the session was locked, and began
    // afresh after it.
    const auto samples = jsonFile(data / "signal-log.json");
    ASSERT_TRUE(samples.is_array() && !samples.empty());
    double longest = 0;
    for (const auto& sample : samples) {
        longest = std::max(longest, sample.value("continuousActiveSeconds", 0.0));
        if (sample.value("displayState", "") == "locked") {
            EXPECT_EQ(sample.value("continuousActiveSeconds", -1.0), 0.0) << sample;
        }
    }
    EXPECT_GE(longest, 7200.0);
    EXPECT_LT(samples.back().value("continuousActiveSeconds", -1.0), 180.0) << samples.back();
}

// An entry's Exec line in `group`, split as a desktop splits it when it opens no address (the
// program's path here holds nothing the key file escapes).
// The window of that title on the desktop, as xdotool finds it (shown only, or any); 0 for none.
unsigned long windowTitled(const test::TraylessDesktop& desktop, const std::string& title,
                           bool shown = true) {
    std::vector<std::string> search{"xdotool", "search", "--name", "^" + title + "$"};
    if (shown) search.insert(search.begin() + 2, "--onlyvisible");
    test::ChildProcess xdotool(search, desktop.childEnvironment(), STDOUT_FILENO);
    return std::strtoul(xdotool.readRest().c_str(), nullptr, 10);
}

constexpr const char* kRhythmTitle = "Tavryn, your rhythm";
constexpr const char* kSettingsTitle = "Tavryn, settings";

// A copy on a desktop that shows no tray (GNOME without an extension), past its first start.
struct TraylessCopy {
    test::TestHome home;
    test::TraylessDesktop desktop;
    std::map<std::string, std::string> env = desktop.childEnvironment();
    test::BusConnection bus{test::DesktopSession::current().bus()};

    TraylessCopy() {
        EXPECT_EQ(desktop.problem(), "");
        EXPECT_TRUE(home.keepAPromise());
        env.insert({"TAVRYN_LOCATION_MODE", "none"});
    }
    bool answers() {
        return test::waitUntil([&] { return test::applicationAnswers(*bus); });
    }
};

// The starts of the application: the one no person chose (the autostart entry's, at login; the
// keep-alive's wrapper passes the same mark) opens nothing where the others would.
struct Start {
    const char* start;
    std::vector<std::string> command;
    bool opens;
};
std::vector<Start> starts() {
    return {
        {"at login", execOf(*LoginItem::desktopEntry(QUILLFEN_BINARY), "[Desktop Entry]"), false},
        {"from the menu entry", execOf(*DesktopEntry::text(QUILLFEN_BINARY), "[Desktop Entry]"), true},
        {"from a terminal", {QUILLFEN_BINARY}, true},
    };
}

// Where no tray shows the stone, the application is reached by starting it again: from the menu
// entry or a terminal, the second start brings the running copy's rhythm window in front of the
// program the user was in, and ends. The starts no person chose, marked so (the autostart entry's
// at login here; the keep-alive's wrapper passes the same mark), open nothing.
TEST(Main, WithoutATrayAStartWhileACopyRunsBringsItsRhythmWindowToTheFrontUnlessNoPersonChoseIt) {
    TraylessCopy copy;
    // The copy that runs started at login, and shows nothing.
    test::ChildProcess app({QUILLFEN_BINARY, std::string(StartRequest::kUnattended)}, copy.env);
    ASSERT_TRUE(copy.answers());
    TwoPrograms programs(copy.desktop.display());
    ASSERT_TRUE(programs.ready());
    for (const auto& c : starts()) {
        SCOPED_TRACE(c.start);
        EXPECT_TRUE(xdotool({"windowactivate", std::to_string(programs.window(0))}, copy.env));
        ASSERT_TRUE(test::waitUntil([&] { return programs.active() == programs.window(0); }));
        test::ChildProcess start(c.command, copy.env);
        EXPECT_TRUE(exitedWith(start.waitForExit(test::kPatience), 0));
        if (!c.opens) {
            // Twice: a window made by then has gone out to the X server once the main loop turned.
            ASSERT_TRUE(test::applicationAnswers(*copy.bus) && test::applicationAnswers(*copy.bus));
            EXPECT_EQ(windowTitled(copy.desktop, kRhythmTitle, false), 0u);
            continue;
        }
        EXPECT_TRUE(test::waitUntil([&] {
            const auto rhythm = windowTitled(copy.desktop, kRhythmTitle);
            return rhythm != 0 && programs.active() == rhythm;
        })) << "the rhythm window is not in front";
    }
    kill(app.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
}

// The class of an X window, as the desktop reads it to tie the window to an entry.
std::string windowClass(const test::TraylessDesktop& desktop, unsigned long window) {
    Display* x = XOpenDisplay(desktop.display().c_str());
    if (x == nullptr) return "<no display>";
    XClassHint hint{};
    std::string name = "<no class>";
    if (XGetClassHint(x, window, &hint) != 0) {
        name = hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    XCloseDisplay(x);
    return name;
}

// Once the first start's window has been gone through, a start a person chose (from the menu
// entry, a terminal), with no copy running, shows the rhythm window where no tray shows the stone,
// as a second start does; the one at login shows nothing. The window is of the class the entry names, so that
// the desktop shows it as the entry's (GNOME with its icon, and its Quit for the application's).
TEST(Main, WithoutATrayAStartFromTheMenuShowsTheRhythmWindowOfTheClassTheEntryNames) {
    TraylessCopy copy;
    const auto entry = *DesktopEntry::text(QUILLFEN_BINARY);
    for (const auto& c : starts()) {
        SCOPED_TRACE(c.start);
        test::ChildProcess app(c.command, copy.env);
        ASSERT_TRUE(copy.answers());
        if (c.opens) {
            unsigned long rhythm = 0;
            EXPECT_TRUE(test::waitUntil([&] {
                return (rhythm = windowTitled(copy.desktop, kRhythmTitle)) != 0;
            })) << "the rhythm window never showed";
            EXPECT_EQ(windowClass(copy.desktop, rhythm),
                      DesktopEntry::value(entry, "StartupWMClass").value_or(""));
        } else {
            ASSERT_TRUE(test::applicationAnswers(*copy.bus) && test::applicationAnswers(*copy.bus));
            EXPECT_EQ(windowTitled(copy.desktop, kRhythmTitle, false), 0u);
        }
        kill(app.pid(), SIGTERM);
        EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
    }
}

// A text property of an X window; empty when it has none.
std::string windowText(const test::TraylessDesktop& desktop, unsigned long window, const char* property) {
    Display* x = XOpenDisplay(desktop.display().c_str());
    if (x == nullptr) return "<no display>";
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(x, window, XInternAtom(x, property, False), 0, 1024, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        text.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    XCloseDisplay(x);
    return text;
}

// GNOME's own Quit, on the windows of an application it has tied to its entry, runs the
// application's "quit" where the windows name a connection and object on the session bus whose
// "quit" takes no parameter, as a GTK application's do, and otherwise only closes them. The windows
// name one, GLib reads its actions there as taking none, and the "quit" GLib runs ends the
// application as the Quit of its own menu does.
TEST(Main, TheWindowsLeadTheDesktopToTheApplicationsQuitWhichEndsIt) {
    TraylessCopy copy;
    test::ChildProcess app({QUILLFEN_BINARY}, copy.env);
    ASSERT_TRUE(copy.answers());
    unsigned long rhythm = 0;
    ASSERT_TRUE(test::waitUntil([&] { return (rhythm = windowTitled(copy.desktop, kRhythmTitle)) != 0; }));
    const std::string connection = windowText(copy.desktop, rhythm, "_GTK_UNIQUE_BUS_NAME");
    const std::string object = windowText(copy.desktop, rhythm, "_GTK_APPLICATION_OBJECT_PATH");
    EXPECT_EQ(object, "/org/quillfen/Quillfen");
    test::ChildProcess glib(test::glibActionGroupReader(connection, object, "quit"), copy.env, STDOUT_FILENO);
    EXPECT_EQ(glib.readRest(), "quit none\nsettings none\n");
    EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
}

// The menu entry's actions, each its own start: Settings opens the running copy's settings, or
// starts a copy that opens them; Quit ends the running copy as its own Quit does, the keep-alive
// taken down first, and with no copy running does nothing.
TEST(Main, TheMenuEntrysSettingsAndQuitReachTheRunningCopy) {
    TraylessCopy copy;
    const auto entry = *DesktopEntry::text(QUILLFEN_BINARY);
    const auto settings = execOf(entry, "[Desktop Action settings]");
    const auto quit = execOf(entry, "[Desktop Action quit]");
    test::ChildProcess nothingToQuit(quit, copy.env);
    EXPECT_TRUE(exitedWith(nothingToQuit.waitForExit(test::kPatience), 0));
    EXPECT_FALSE(SingleInstance::isHeld(copy.home.path() / ".cache/org.quillfen.Quillfen"));

    for (const bool running : {true, false}) {
        SCOPED_TRACE(running ? "a copy runs" : "no copy runs");
        test::ChildProcess app(running ? std::vector<std::string>{QUILLFEN_BINARY} : settings, copy.env);
        if (running) {
            ASSERT_TRUE(copy.answers());
            test::ChildProcess start(settings, copy.env);
            EXPECT_TRUE(exitedWith(start.waitForExit(test::kPatience), 0));
        }
        EXPECT_TRUE(test::waitUntil([&] { return windowTitled(copy.desktop, kSettingsTitle) != 0; }));
        ASSERT_TRUE(copy.answers());
        // As the copy's keep-alive would stand, had it been installed.
        test::writeFile(LaunchAgent::unitFile(), LaunchAgent::unitText(LaunchAgent::wrapperFile()));
        test::ChildProcess start(quit, copy.env);
        EXPECT_TRUE(exitedWith(start.waitForExit(test::kPatience), 0));
        EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
        EXPECT_FALSE(fs::exists(LaunchAgent::unitFile()));
    }
}

using Variables = std::map<std::string, std::string>;

// What a Plasma 6 session and a GNOME session set, which the toolkit reads to choose its theme.
const Variables kPlasma6{
    {"XDG_CURRENT_DESKTOP", "KDE"}, {"KDE_FULL_SESSION", "true"}, {"KDE_SESSION_VERSION", "6"}};
const Variables kGnome{{"XDG_CURRENT_DESKTOP", "GNOME"}, {"DESKTOP_SESSION", "gnome"}};

Variables operator+(Variables a, const Variables& b) {
    a.insert(b.begin(), b.end());
    return a;
}

struct ThemeCase {
    const char* session;
    Variables environment;
    // The stand-in plugins the application loads: none but those the person named.
    std::set<std::string> loaded;
    // Whether the person named a theme. The stand-in makes none, and the toolkit then goes on to
    // the desktop's, as it does for a theme of the person's that fails: KDE's, where installed.
    bool named = false;
};

// The toolkit loads the theme plugin the session names (KDE's on Plasma, which maps KDE's
// frameworks; a GTK one on GNOME), and the style that theme names. The application takes none of
// them, with KDE's own installed or a plugin of that name on the plugin path; a theme or a style
// the person names is still loaded.
TEST(Main, LoadsNoThemeOrStyleOfTheDesktopsOnlyThoseThePersonNames) {
    const std::string standIns = QUILLFEN_STAND_IN_PLUGINS;
    const std::string theme = standIns + "/platformthemes/libquillfen_stand_in_platformthemes.so";
    const std::string style = standIns + "/styles/libquillfen_stand_in_styles.so";
    const Variables onThePath{{"QT_PLUGIN_PATH", standIns}};
    const Variables personsChoice{{"QT_QPA_PLATFORMTHEME", "quillfen-stand-in"},
                                  {"QT_STYLE_OVERRIDE", "quillfen-stand-in"}};
    const fs::path kdeTheme = QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() +
                              "/platformthemes/KDEPlasmaPlatformTheme6.so";
    const std::vector<ThemeCase> cases{
        {fs::exists(kdeTheme) ? "Plasma 6, KDE's theme installed" : "Plasma 6", kPlasma6, {}},
        {"Plasma 6, a theme plugin of KDE's name", kPlasma6 + onThePath, {}},
        {"GNOME, a theme plugin of the GTK one's name", kGnome + onThePath, {}},
        {"Plasma 6, the person's theme and style",
         kPlasma6 + onThePath + personsChoice,
         {theme, style},
         true},
    };
    test::BusConnection bus(test::DesktopSession::current().bus());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.session);
        test::TestHome home;
        test::ChildProcess app({QUILLFEN_BINARY}, withEnvironment(c.environment));
        ASSERT_TRUE(test::waitUntil([&] { return test::applicationAnswers(*bus); }));
        EXPECT_EQ(app.mappedFiles({standIns}), c.loaded);
        if (!c.named) {
            EXPECT_EQ(app.mappedFiles({"/libKF5", "/libKF6", "KDEPlasmaPlatformTheme"}),
                      std::set<std::string>{});
        }
        kill(app.pid(), SIGTERM);
        EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
    }
}

Variables environmentOf(const std::string& nulSeparated) {
    Variables variables;
    std::istringstream entries(nulSeparated);
    for (std::string entry; std::getline(entries, entry, '\0');) {
        const auto equals = entry.find('=');
        if (equals != std::string::npos && !entry.starts_with(ChildEnvironment::kOwnPrefix))
            variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    return variables;
}

// Whatever the application tells the toolkit through its environment (the platform, the X input
// extension left out), a program it starts gets the session's own environment, as the application
// was given it: here the user's Claude tool, which it asks at start whether they are logged in.
TEST(Main, AProgramItStartsGetsTheSessionsOwnEnvironment) {
    test::TestHome home;
    const auto seen = home.path() / "environment-seen";
    const auto tool = home.path() / ".local/bin/claude";
    test::writeFile(tool, "#!/bin/sh\ncat /proc/$$/environ > '" + seen.string() + ".part' && mv '" +
                              seen.string() + ".part' '" + seen.string() +
                              "'\necho '{\"loggedIn\": false}'\n");
    fs::permissions(tool, fs::perms::owner_all);
    // A Wayland session sets neither.
    test::ChildProcess app({"/usr/bin/env", "-u", "QT_QPA_PLATFORM", "-u", "QT_XCB_NO_XI2", QUILLFEN_BINARY},
                           withEnvironment(kPlasma6 + Variables{{"TAVRYN_CLOUD_MIND", "1"}}));
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(seen); })) << "the tool never ran";
    const auto given = environmentOf(test::readFile("/proc/" + std::to_string(app.pid()) + "/environ"));
    ASSERT_EQ(given.count("QT_QPA_PLATFORM"), 0u);
    const auto child = environmentOf(test::readFile(seen));
    std::vector<std::pair<std::string, std::string>> differing;
    std::set_symmetric_difference(child.begin(), child.end(), given.begin(), given.end(),
                                  std::back_inserter(differing));
    EXPECT_EQ(differing, (std::vector<std::pair<std::string, std::string>>{}));
    kill(app.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(app.waitForExit(test::kPatience), 0));
}

}  // namespace
}  // namespace quillfen
