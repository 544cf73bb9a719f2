#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QSemaphore>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "AppController.h"
#include "ApplicationService.h"
#include "ChildProcesses.h"
#include "CoreProcess.h"
#include "DesktopEntry.h"
#include "GtkActions.h"
#include "LaunchAgent.h"
#include "LinuxDesktop.h"
#include "LoginItem.h"
#include "QuitSignals.h"
#include "RenderHooks.h"
#include "RunningCopy.h"
#include "SelfUpdater.h"
#include "SingleInstance.h"
#include "StartRequest.h"
#include "StrandedEntries.h"
#include "Support/Paths.h"
#include "Support/SystemLog.h"
#include "Support/Threads.h"
#include "UrlSchemeRegistration.h"
#include "WindowChrome.h"
#include "platform/CommandRunner.h"
#include "platform/CpuAffinity.h"

using namespace quillfen;

namespace {

// How long the quit waits for work in flight (a tick waiting on the sky, a reader) before
// the process ends without it.
constexpr auto kQuitGrace = std::chrono::milliseconds(400);
// How long a second start waits for the running copy to take its name on the bus: the desktop
// may start the application and open an address in it at once.
constexpr auto kForwardPatience = std::chrono::seconds(10);

// What the toolkit is told through the environment, in this process only and only while the
// application object is made, when the toolkit reads it: a program started from here (a terminal,
// the Claude tool) gets the session's own environment back.
class ToolkitVariables {
public:
    void set(const char* name, const char* value) {
        const char* before = std::getenv(name);
        saved_.emplace_back(name, before != nullptr ? std::optional<std::string>(before) : std::nullopt);
        setenv(name, value, 1);
    }
    void handBack() {
        for (auto saved = saved_.rbegin(); saved != saved_.rend(); ++saved) {
            if (saved->second) {
                setenv(saved->first, saved->second->c_str(), 1);
            } else {
                unsetenv(saved->first);
            }
        }
        saved_.clear();
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// The popover and the desktop pane place themselves, which a native Wayland client may not:
// in a Wayland session the application talks X through XWayland. Without any X server it
// still runs, headless, so the decisions, the journals and the notifications go on. A run that
// only draws a picture draws it offscreen, whatever the display: it needs none, and its picture
// must not depend on one.
void choosePlatform(const Environment& environment, ToolkitVariables& toolkit) {
    if (RenderHooks::requested(environment)) {
        toolkit.set("QT_QPA_PLATFORM", "offscreen");
        return;
    }
    if (environment.count("QT_QPA_PLATFORM") != 0) return;
    toolkit.set("QT_QPA_PLATFORM", "xcb;offscreen");
}

// Qt's X11 layer follows every input device through the X input extension (XInput 2), and ends
// the process on some that come and go: one that Xwayland makes when the compositor's seat gains
// a pointer (a mouse plugged in, KWin's fake input, a remote desktop's) Qt 6.8 looks up before it
// is attached, and asks its missing master for a seat. The application reads no touch, tablet or
// gesture input, and what its windows take (clicks, the wheel, keys, the pointer coming and going)
// the core protocol carries too, from every device. The toolkit reads the variable once, as it
// connects; one the user set stays theirs.
constexpr const char* kWithoutInputExtension = "QT_XCB_NO_XI2";

void leaveOutInputExtension(const Environment& environment, ToolkitVariables& toolkit) {
    if (environment.count(kWithoutInputExtension) != 0) return;
    toolkit.set(kWithoutInputExtension, "1");
}

// Following the desktop's settings, the toolkit loads the theme plugin the session names, and the
// widget style that theme names: on Plasma 6 KDE's own (KDEPlasmaPlatformTheme6 and Breeze), which
// map a hundred libraries more, KDE's frameworks among them, and hold a hundred megabytes and
// seventeen threads more, all day; on GNOME the GTK one, where it is installed. The windows draw
// their own look, in their own fonts and colours, and the stone in the tray takes light or dark
// from the settings portal: the toolkit's own theme serves them alike on every desktop. A theme the
// user names is theirs, and follows the desktop's settings as ever.
void keepToTheToolkitsOwnTheme(const Environment& environment) {
    const std::string* named = environmentValue(environment, "QT_QPA_PLATFORMTHEME");
    if (named != nullptr && !named->empty()) return;
    QGuiApplication::setDesktopSettingsAware(false);
}

// The toolkit's raster engine hands a large fill to its thread pool and waits for it. A pool
// thread that cannot be started (the user's process limit reached) leaves that wait without
// end, and the whole application frozen. So the pool's drawing thread is started now, before any
// other thread of ours, and kept for the life of the process rather than ended when idle and
// started again later, when threads may be short.
void keepDrawingThread() {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    auto started = std::make_shared<QSemaphore>();
    pool->start([started] { started->release(); });
    if (!started->tryAcquire(1, 2000))
        SystemLog::error("threads", "no thread for drawing: the windows may not be drawn");
}

}  // namespace

int main(int argc, char** argv) {
    const Environment environment = processEnvironment();
    CoreProcess::ignoreBrokenPipes();

    const bool oneShot = SingleInstance::isOneShotRun(environment);
    const auto request = StartRequest::of(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (!oneShot) {
        auto lock = SingleInstance::acquire(Paths::cacheDirectory());
        if (lock.outcome == SingleInstance::Outcome::heldElsewhere) {
            // A second start ends at once, but what it asks for goes to the running copy first: an
            // address (a stone handed over from the web), an action of the menu entry, or, asked
            // for nothing, the window a click on the stone opens, which is how it is reached where
            // no tray shows the stone.
            QCoreApplication forwarding(argc, argv);
            ApplicationService::forward(QDBusConnection::sessionBus(), request, kForwardPatience);
            return 0;
        }
        // There is no copy to end.
        if (request.action == StartRequest::kQuit) return 0;
        if (lock.outcome == SingleInstance::Outcome::unguarded)
            SystemLog::error("single-instance", lock.problem + "; running without the single-instance guard");
    }
    // A quit asked for while the application starts is kept until its event loop runs.
    QuitSignals::catchFromNow();

    ToolkitVariables toolkit;
    choosePlatform(environment, toolkit);
    leaveOutInputExtension(environment, toolkit);
    keepToTheToolkitsOwnTheme(environment);
    QApplication app(argc, argv);
    toolkit.handBack();
    // The class of every window, which the menu entry names.
    QApplication::setApplicationName(QString::fromUtf8(DesktopEntry::kWindowClass));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(Paths::kAppId));
    // The application lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    CpuAffinity::keepCallingThreadOnOneCore();
    keepDrawingThread();
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
        SystemLog::info("display", "no X display answers: running without the tray and windows");
    }

    bool allEnded = true;
    {
        LinuxDesktop linux(environment);
        Desktop desktop = linux.desktop();
        std::unique_ptr<SelfUpdater> updater;
        // systemctl may take its time: the install runs beside the UI, and the quit's disable
        // waits for it, so that the service is gone when the process ends.
        std::jthread keepAliveInstall;
        std::jthread schemeRegistration;
        UserDefaults& defaults = desktop.defaults;
        desktop.upkeep = UpkeepServices{
            [&updater, &defaults] {
                // After an install it relaunches and ends this copy the way a quit does.
                updater = std::make_unique<SelfUpdater>(SelfUpdater::Setup::runningCopy(), defaults,
                                                        std::make_shared<CurlHttpFetcher>(),
                                                        std::shared_ptr<CommandRunner>(makeCommandRunner()),
                                                        &AppController::endEventLoop, systemClock());
                updater->start();
            },
            // Without a thread the keep-alive waits for the next start.
            [&keepAliveInstall] {
                keepAliveInstall = Threads::startOrSkip("the keep-alive install", [](std::stop_token) {
                    CpuAffinity::releaseCallingThread();
                    LaunchAgent::install();
                });
            },
            [&keepAliveInstall] {
                if (keepAliveInstall.joinable()) keepAliveInstall.join();
                LaunchAgent::disable();
            },
            [](UserDefaults& d) { LoginItem::enableOnceIfNeeded(d); },
            [] { return LaunchAgent::isInstalled(); },
            // The minds' and readers' children first, then whatever else this process started.
            [] {
                CoreProcess::shutdown();
                ChildProcesses::endAll(std::chrono::milliseconds(200));
            },
        };
        // A developer run ends at once, not through a quit: the user's keep-alive service and
        // windows are no business of a run that only draws or checks.
        desktop.endDeveloperRun = [] {
            std::fflush(nullptr);
            ::_exit(0);
        };
        // Before this copy writes its own entries, and on this thread, so that nothing writes them
        // meanwhile: those an earlier copy left for a path others could change go.
        if (!oneShot) {
            auto runner = makeCommandRunner();
            StrandedEntries::takeOut(*runner, systemClock()(), RunningCopy::installed(), &defaults);
        }
        AppController controller(desktop);
        QuitSignals quitSignals([&controller](int) { controller.endEventLoop(); });
        // Before the first window is made, so that every window names where they are.
        std::unique_ptr<GtkActions> actions;
        if (!oneShot && QDBusConnection::sessionBus().isConnected()) {
            std::vector<std::string> names;
            for (const auto& action : StartRequest::kActions)
                names.emplace_back(action.name);
            actions = std::make_unique<GtkActions>(
                std::move(names),
                [&controller](const std::string& action) { controller.performAction(action); });
            if (actions->start(ApplicationService::kObjectPath))
                nameApplicationActionsOn(actions->uniqueName());
        }
        controller.applicationDidFinishLaunching();
        // Qt has taken its own options out of the arguments by now.
        std::vector<std::string> arguments;
        for (const QString& argument : app.arguments().mid(1)) arguments.push_back(argument.toStdString());
        const auto asked = StartRequest::of(arguments);
        std::unique_ptr<ApplicationService> service;
        if (!oneShot) {
            // The desktop's tools may take their time; nothing waits for them but the quit.
            schemeRegistration = Threads::startOrSkip("the address scheme's registration", [](std::stop_token) {
                CpuAffinity::releaseCallingThread();
                UrlSchemeRegistration::ensureForRunningCopy();
            });
            service = std::make_unique<ApplicationService>(
                QDBusConnection::sessionBus(),
                ApplicationService::Handlers{
                    [&controller](const std::vector<std::string>& urls) { controller.openUrls(urls); },
                    [&controller] { controller.togglePanel(); },
                    [&controller](const std::string& action) { controller.performAction(action); },
                });
            service->start();
        }
        controller.openUrls(asked.addresses);
        // The menu entry's Settings, chosen while no copy ran.
        if (asked.action) controller.performAction(*asked.action);
        // The menu entry itself, or a terminal: where no tray shows the stone, it shows itself.
        if (!asked.action && !asked.unattended && asked.addresses.empty()) controller.answerAPersonsStart();
        app.exec();
        service.reset();
        actions.reset();
        allEnded = controller.applicationWillTerminate(kQuitGrace);
        // An update check that will not stop is given up at the same grace as the other work.
        if (updater && !updater->stop(kQuitGrace)) allEnded = false;
        updater.reset();
        if (!allEnded) {
            // Work still running past the grace holds nothing that must be saved (every store
            // is written whole, by rename): end without running the exit handlers under it.
            SystemLog::info("quit", "work still running at quit was left to end with the process");
            std::fflush(nullptr);
            ::_exit(0);
        }
    }
    return 0;
}
