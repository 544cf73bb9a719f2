#include "LinuxDesktop.h"

#include "platform/linux/EventStoreLinux.h"

namespace quillfen {

LinuxDesktop::LinuxDesktop(Environment environment)
    : environment_(std::move(environment)),
      defaults_(makeUserDefaults()),
      idleTime_(makeIdleTime()),
      activations_(makeApplicationActivations()),
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
