#include "LinuxDesktop.h"

#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/EventStoreLinux.h"
#include "platform/linux/IdleTimeLinux.h"
#include "platform/linux/WaylandConnection.h"

namespace quillfen {

namespace {

// How long a compositor or a desktop service may take to answer at start before what it would
// tell counts as unknown.
constexpr double kAnswerWithinSeconds = 3;

// The layers wait on the application's scheduler, as the controller's steps do.
Delay schedulerDelay() {
    return [](double seconds, std::function<void()> step) {
        auto handle =
            std::make_shared<AnimationDriver::Handle>(AnimationDriver::shared().after(seconds, std::move(step)));
        return Subscription([handle] { handle->reset(); });
    };
}

std::shared_ptr<WaylandConnection> waylandConnectionFor(SessionType session, const Environment& environment) {
    if (session != SessionType::wayland) return nullptr;
    auto display = environment.find("WAYLAND_DISPLAY");
    const std::string name = display == environment.end() ? std::string() : display->second;
    return WaylandConnection::open(name, schedulerDelay(), kAnswerWithinSeconds);
}

}  // namespace

LinuxDesktop::LinuxDesktop(Environment environment)
    : environment_(std::move(environment)),
      session_(sessionTypeOf(environment_)),
      wayland_(waylandConnectionFor(session_, environment_)),
      defaults_(makeUserDefaults()),
      idleTime_(makeIdleTime(IdleTimeParts{session_, wayland_, QDBusConnection::sessionBus(), {},
                                           systemClock(), schedulerDelay(), kAnswerWithinSeconds, 1.0})),
      activations_(makeApplicationActivations(
          ApplicationActivationsParts{session_, wayland_, QDBusConnection::sessionBus(), {}})),
      sessionEvents_(makeSessionEvents()),
      audio_(makeAudioDevices()),
      power_(makePowerSources()),
      appearance_(makeDesktopAppearance()),
      notifications_(makeDesktopNotifications()),
      statusItem_(makeStatusItem()),
      terminal_(makeTerminalLauncher()),
      eventStore_(std::make_shared<EventStoreLinux>()),
      httpFetcher_(std::make_shared<CurlHttpFetcher>()),
      processRunner_(std::make_shared<SystemProcessRunner>()) {
    // Asked once at start, so a desktop without a notification service is logged at once
    // rather than at the first nudge.
    notifications_->probe([](auto) {});
}

LinuxDesktop::~LinuxDesktop() = default;

Desktop LinuxDesktop::desktop() {
    return Desktop{
        systemClock(),
        environment_,
        *defaults_,
        *idleTime_,
        *activations_,
        *sessionEvents_,
        *audio_,
        *power_,
        *appearance_,
        *notifications_,
        *statusItem_,
        *terminal_,
        eventStore_,
        httpFetcher_,
        processRunner_,
        [] { return makeLocationManager(); },
        UpkeepServices{},
    };
}

}  // namespace quillfen
