#pragma once

#include <functional>
#include <memory>

#include "Config/AppConfig.h"
#include "CoreParts.h"
#include "Mind/ClaudeSidecarMind.h"
#include "Mind/ProcessRunner.h"
#include "Signals/EventStore.h"
#include "Support/Clock.h"
#include "Support/HttpFetcher.h"
#include "UI/AnimationDriver.h"
#include "platform/ApplicationActivations.h"
#include "platform/AudioDevices.h"
#include "platform/DesktopAppearance.h"
#include "platform/DesktopNotifications.h"
#include "platform/IdleTime.h"
#include "platform/LocationManager.h"
#include "platform/PowerSources.h"
#include "platform/SessionEvents.h"
#include "platform/StatusItem.h"
#include "platform/TerminalLauncher.h"
#include "platform/UserDefaults.h"

namespace quillfen {

// The services that keep the application running and current (the keep-alive agent, the
// login item, the self-updater). Each is optional: an empty one does nothing.
struct UpkeepServices {
    std::function<void()> startSelfUpdater;
    std::function<void()> installKeepAlive;
    std::function<void()> disableKeepAlive;
    std::function<void(UserDefaults&)> enableLoginItemOnce;
    // Whether the keep-alive agent's file is installed.
    std::function<bool()> keepAliveInstalled;
    // Ends every child process still running (the minds' and readers' children).
    std::function<void()> endChildProcesses;
};

// Everything the controller takes from the machine: the clock, the process environment, and
// the desktop's facilities. main passes the real ones; tests pass doubles. Every reference
// must outlive the controller.
struct Desktop {
    Clock now;
    Environment environment;
    UserDefaults& defaults;
    IdleTime& idleTime;
    ApplicationActivations& activations;
    SessionEvents& sessionEvents;
    AudioDevices& audio;
    PowerSources& power;
    DesktopAppearance& appearance;
    DesktopNotifications& notifications;
    StatusItem& statusItem;
    TerminalLauncher& terminal;
    std::shared_ptr<EventStore> eventStore;
    std::shared_ptr<HttpFetcher> httpFetcher;
    std::shared_ptr<const ProcessRunner> processRunner;
    std::function<std::unique_ptr<LocationManager>()> makeLocationManager;
    UpkeepServices upkeep;
    // What the controller's waiting steps run on (the ticks, the slower refreshes, the rechecks
    // after a login, the self-test's report): the animation driver and its clock, so a test
    // moves time rather than waiting for it.
    AnimationDriver& scheduler = AnimationDriver::shared();
    CoreParts core{};
    // Ends a developer run at once (its picture drawn, its self-test reported), with none of a
    // quit's steps: main ends the process. Left empty, the run goes on.
    std::function<void()> endDeveloperRun{};
    // Where the user's claude tool is, when it is installed: at its fixed places, then on PATH.
    std::function<std::optional<std::string>()> claudeTool = &ClaudeSidecarMind::defaultExecutable;
};

}  // namespace quillfen
