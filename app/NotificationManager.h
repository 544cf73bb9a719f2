#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "NudgeCopy.h"
#include "platform/DesktopNotifications.h"
#include "platform/UserDefaults.h"

namespace quillfen {

// The nudge as a desktop notification: a silent banner with "Step outside" and "Not now".
// A click on the banner or on "Step outside" becomes one call of `onPrimaryTapped`; "Not
// now" and a closed banner change nothing. Used on the main thread.
//
// No Linux desktop keeps an application's answer to "may it show notifications", so the
// manager keeps the user's own answer in `defaults` and holds the banners back after a no.
class NotificationManager {
public:
    static constexpr const char* kCategory = "TAVRYN_NUDGE";
    static constexpr const char* kStepOutsideAction = "TAVRYN_STEP_OUTSIDE";
    static constexpr const char* kNotNowAction = "TAVRYN_NOT_NOW";
    // True after the user allowed banners, false after they kept nudges inside the
    // application; absent while they have not answered, when banners are shown.
    static constexpr const char* kBannersAllowedKey = "notificationBannersAllowed";

    NotificationManager(DesktopNotifications& service, UserDefaults& defaults,
                        std::function<void()> onPrimaryTapped);
    NotificationManager(const NotificationManager&) = delete;
    NotificationManager& operator=(const NotificationManager&) = delete;

    // The nudge's two actions are offered on every nudge from now on.
    void registerCategory();
    // Registers the category, then asks whether the desktop shows notifications at all: the
    // answer, on the main thread, is whether a notification service answers. Asking never
    // changes the user's kept answer.
    void requestAuthorization(std::function<void(bool)> completion);
    // The user's answer, kept for every later nudge and every later run.
    void keepAnswer(bool bannersAllowed);
    // A new notification for every nudge; none replaces another. Nothing is posted while the
    // user keeps nudges inside the application.
    void fire(const NudgeCopy& copy);
    // Whether the newest nudge is on screen as a notification: the service took it and has not
    // closed it since. Not while the user keeps nudges inside the application, nor when no
    // service took it, nor before the service has answered.
    bool showsNewest() const { return newest_.has_value(); }

    // What a response to one of our notifications does, by its action key.
    void didReceive(std::uint32_t id, const std::string& actionKey);

private:
    bool bannersAllowed() const;

    DesktopNotifications& service_;
    UserDefaults& defaults_;
    std::function<void()> onPrimaryTapped_;
    bool categoryRegistered_ = false;
    // The service's ids of our notifications still on screen; the bus tells every client of
    // every notification, so only these are ours to answer.
    std::set<std::uint32_t> ours_;
    // The id of the newest nudge's notification while it is on screen.
    std::optional<std::uint32_t> newest_;
    // Counts the nudges fired, so an answer for an older one does not pass for the newest's.
    std::uint64_t fired_ = 0;
    Subscription events_;
    // Answers that arrive after the manager is gone find this expired.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quillfen
