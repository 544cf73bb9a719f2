#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "AppController.h"
#include "Mind/ProcessRunner.h"
#include "support/FakeShellDesktop.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/TestEnvironment.h"

namespace quillfen::test {

// The network is never reached: every request fails at once.
class NoNetwork final : public HttpFetcher {
public:
    HttpResult get(const HttpRequest&, std::stop_token) override {
        return HttpFailure{HttpFailure::Kind::transport, "no network in tests"};
    }
};

// A location service whose answer the test sets, noting each request in the journal; the
// delegate it is given is where the test's answers go.
class ScriptedLocationManager final : public LocationManager {
public:
    ScriptedLocationManager(CallJournal& journal, const LocationAuthorization& status,
                            LocationManagerDelegate*& delegate)
        : journal_(journal), status_(status), delegate_(delegate) {}
    void setDelegate(LocationManagerDelegate* delegate) override { delegate_ = delegate; }
    LocationAuthorization authorizationStatus() const override { return status_; }
    void requestWhenInUseAuthorization() override { journal_.push_back("location.requestWhenInUseAuthorization"); }
    void requestLocation() override { journal_.push_back("location.requestLocation"); }

private:
    CallJournal& journal_;
    const LocationAuthorization& status_;
    LocationManagerDelegate*& delegate_;
};

// A controller on a desktop of doubles in a fresh home, a Monday at 14:00 UTC; its real parts
// are the files, the child processes and the stores. A developer run unless the test says
// otherwise: nothing outlasting the process is set up.
struct ControllerHarness {
    TestHome home;
    FixedClock clock{at("2026-01-05T14:00:00Z")};
    CallJournal journal;
    MemoryUserDefaults defaults;
    JournalledIdleTime idle{journal};
    FakeApplicationActivations activations;
    FakeSessionEvents session;
    FakeAudioDevices audio;
    FakePowerSources power;
    FakeDesktopAppearance appearance;
    FakeDesktopNotifications notifications{journal};
    FakeStatusItem statusItem{journal};
    FakeTerminalLauncher terminal{journal};
    std::shared_ptr<EventStore> eventStore;
    LocationAuthorization locationStatus = LocationAuthorization::notDetermined;
    LocationManagerDelegate* locationDelegate = nullptr;
    std::unique_ptr<AppController> controller;

    AppController& start(Environment environment = {{"TAVRYN_RENDER_NONE", ""}}) {
        auto location = [this] {
            return std::make_unique<ScriptedLocationManager>(journal, locationStatus, locationDelegate);
        };
        Desktop desktop{clock, std::move(environment), defaults, idle, activations, session, audio, power,
                        appearance, notifications, statusItem, terminal, eventStore, std::make_shared<NoNetwork>(),
                        std::make_shared<SystemProcessRunner>(), location, UpkeepServices{}};
        controller = std::make_unique<AppController>(desktop);
        controller->applicationDidFinishLaunching();
        return *controller;
    }

    // Ends the running controller, as a quit would, keeping the home for the next start.
    void stop() {
        if (controller) controller->applicationWillTerminate(std::chrono::milliseconds(2000));
        controller.reset();
    }

    // Until every background job has come back.
    bool settle(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        if (!spinUntil([&] { return controller->work().running() == 0; }, timeout)) return false;
        // The last result is on its way to this thread.
        spinFor(std::chrono::milliseconds(20));
        return true;
    }

    ~ControllerHarness() { stop(); }
};

}  // namespace quillfen::test
