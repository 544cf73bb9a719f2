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
#include "support/TestEnvironment.h"

// One application controller on a whole desktop of doubles, in a fresh home: the shell's tests
// build it the way main does, with the doubles in place of the machine.
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

class JournalledLocationManager final : public LocationManager {
public:
    explicit JournalledLocationManager(CallJournal& journal) : journal_(journal) {}
    void setDelegate(LocationManagerDelegate*) override {}
    LocationAuthorization authorizationStatus() const override { return LocationAuthorization::notDetermined; }
    void requestWhenInUseAuthorization() override { journal_.push_back("location.requestWhenInUseAuthorization"); }
    void requestLocation() override { journal_.push_back("location.requestLocation"); }

private:
    CallJournal& journal_;
};

// A whole desktop of doubles around one controller, in a fresh home.
struct Harness {
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
    std::shared_ptr<NoNetwork> network = std::make_shared<NoNetwork>();
    std::unique_ptr<AppController> controller;

    void start(Environment environment, bool launch = true) {
        Desktop desktop{clock,
                        std::move(environment),
                        defaults,
                        idle,
                        activations,
                        session,
                        audio,
                        power,
                        appearance,
                        notifications,
                        statusItem,
                        terminal,
                        nullptr,
                        network,
                        std::make_shared<SystemProcessRunner>(),
                        [this] { return std::make_unique<JournalledLocationManager>(journal); },
                        UpkeepServices{
                            [this] { journal.push_back("upkeep.startSelfUpdater"); },
                            [this] { journal.push_back("upkeep.installKeepAlive"); },
                            [this] { journal.push_back("upkeep.disableKeepAlive"); },
                            [this](UserDefaults&) { journal.push_back("upkeep.enableLoginItemOnce"); },
                            [] { return false; },
                            {},
                        }};
        controller = std::make_unique<AppController>(desktop);
        if (launch) controller->applicationDidFinishLaunching();
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

    ~Harness() {
        if (controller) controller->applicationWillTerminate(std::chrono::milliseconds(2000));
    }
};

}  // namespace quillfen::test
