#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "AppController.h"
#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "support/FakeShellDesktop.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/TestEnvironment.h"

// One application controller on a whole desktop of doubles, in a fresh home: the shell's tests
// build it the way main does, with the doubles in place of the machine.
//
// A developer run, for the tests that want one, is {"TAVRYN_RENDER_NONE", ""}: nothing outlasting
// the process is set up, and no hook goes by that name, so nothing is drawn and the run never
// asks to end (a picture or the window self-test of TAVRYN_QA_WINDOW_CYCLE does).
//
// The controller's waiting steps (the ticks, the refreshes, the rechecks) run on `motion`'s
// clock, which stands still until the test moves it.
namespace quillfen::test {

// The network is never reached: every request fails at once, and is counted.
class NoNetwork final : public HttpFetcher {
public:
    std::atomic<int> requests{0};
    HttpResult get(const HttpRequest&, std::stop_token) override {
        ++requests;
        return HttpFailure{HttpFailure::Kind::transport, "no network in tests"};
    }
};

// A location service whose answer the test sets, noting each request in the journal; the
// delegate it is given is where the test's answers go.
class JournalledLocationManager final : public LocationManager {
public:
    JournalledLocationManager(CallJournal& journal, const LocationAuthorization& status,
                              LocationManagerDelegate*& delegate)
        : journal_(journal), status_(status), delegate_(delegate) {}
    void setDelegate(LocationManagerDelegate* delegate) override { delegate_ = delegate; }
    LocationAuthorization authorizationStatus() const override { return status_; }
    bool serviceAvailable() const override { return true; }
    void requestWhenInUseAuthorization() override { journal_.push_back("location.requestWhenInUseAuthorization"); }
    void requestLocation() override { journal_.push_back("location.requestLocation"); }

private:
    CallJournal& journal_;
    const LocationAuthorization& status_;
    LocationManagerDelegate*& delegate_;
};

// A developer's run (a variable named TAVRYN_RENDER…): it installs no keep-alive service.
inline const Environment kDeveloper = {{"TAVRYN_RENDER_NONE", ""}};

// A whole desktop of doubles around one controller, in a fresh home.
struct Harness {
    TestHome home;
    FixedClock clock{at("2026-01-05T14:00:00Z")};
    CallJournal journal;
    MemoryUserDefaults defaults;
    JournalledIdleTime idle{journal};
    // The real layer in place of `idle`, when a test sets one before the start.
    IdleTime* idleService = nullptr;
    FakeApplicationActivations activations;
    // The real layer in place of `activations`, when a test sets one before the start.
    ApplicationActivations* activationsService = nullptr;
    FakeSessionEvents session;
    FakeAudioDevices audio;
    FakePowerSources power;
    FakeDesktopAppearance appearance;
    FakeDesktopNotifications notifications{journal};
    // A real notification service in place of `notifications`, when a test sets one before the start.
    DesktopNotifications* notificationService = nullptr;
    FakeStatusItem statusItem{journal};
    FakeTerminalLauncher terminal{journal};
    std::shared_ptr<NoNetwork> network = std::make_shared<NoNetwork>();
    std::shared_ptr<EventStore> eventStore;
    LocationAuthorization locationStatus = LocationAuthorization::notDetermined;
    LocationManagerDelegate* locationDelegate = nullptr;
    // A real location service in place of the journalled one, when a test sets one before the start.
    std::function<std::unique_ptr<LocationManager>()> locationService;
    test::SteppedMotion motion;
    // The real engine and readers unless a test sets its own before the start.
    CoreParts core;
    // How often a developer run asked to end.
    int developerRunsEnded = 0;
    // The search path the controller looks for the claude tool on, after ~/.local/bin/claude: the
    // machine's own places answer nothing, whatever is installed there.
    std::string claudeSearchPath;
    std::unique_ptr<AppController> controller;

    void start(Environment environment, bool launch = true) {
        Desktop desktop{clock,
                        std::move(environment),
                        defaults,
                        idleService ? *idleService : idle,
                        activationsService ? *activationsService : activations,
                        session,
                        audio,
                        power,
                        appearance,
                        notificationService ? *notificationService : notifications,
                        statusItem,
                        terminal,
                        eventStore,
                        network,
                        std::make_shared<SystemProcessRunner>(),
                        [this]() -> std::unique_ptr<LocationManager> {
                            if (locationService) return locationService();
                            return std::make_unique<JournalledLocationManager>(journal, locationStatus,
                                                                               locationDelegate);
                        },
                        UpkeepServices{
                            [this] { journal.push_back("upkeep.startSelfUpdater"); },
                            [this] { journal.push_back("upkeep.installKeepAlive"); },
                            [this] { journal.push_back("upkeep.disableKeepAlive"); },
                            [this](UserDefaults&) { journal.push_back("upkeep.enableLoginItemOnce"); },
                            [] { return false; },
                            {},
                        },
                        motion.driver,
                        core,
                        [this] { ++developerRunsEnded; },
                        [this] {
                            return ClaudeSidecarMind::findExecutable(
                                {(home.path() / ".local/bin/claude").string()}, claudeSearchPath);
                        }};
        controller = std::make_unique<AppController>(desktop);
        if (launch) controller->applicationDidFinishLaunching();
    }

    // The environment with each picture's file name taken into the home.
    Environment picturesInHome(Environment environment) const {
        for (auto& [name, value] : environment)
            if (name.rfind("TAVRYN_RENDER_", 0) == 0) value = (home.path() / value).string();
        return environment;
    }

    // The user's claude tool: a script that prints `output` and exits with `status`.
    void installClaude(const std::string& output, int status = 0) {
        auto tool = home.path() / ".local/bin/claude";
        writeFile(tool, "#!/bin/sh\nprintf '%s' '" + output + "'\nexit " + std::to_string(status) + "\n");
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    }

    void keepPromise() {
        std::filesystem::create_directories(home.dataDirectory());
        PromiseStore store(std::make_shared<FileLogStore>(home.dataDirectory() / "promise.json"));
        Promise promise;
        promise.dayPhrase = "a long afternoon";
        promise.moves.push_back({Uuid::random(), MoveLabel::stepOutside, "step outside for five"});
        store.save(promise);
    }

    // Ends the controller as a quit would, keeping the home for the next start.
    void stop() {
        if (controller) controller->applicationWillTerminate(std::chrono::milliseconds(2000));
        controller.reset();
    }

    // Until every background job has come back.
    bool settle(std::chrono::milliseconds timeout = kPatience) {
        if (!spinUntil([&] { return controller->work().running() == 0; }, timeout)) return false;
        // The last result is on its way to this thread.
        spinFor(std::chrono::milliseconds(20));
        return true;
    }

    ~Harness() { stop(); }
};

}  // namespace quillfen::test
