#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Subscription.h"

namespace quillfen {

// One notification as the desktop's notification service takes it.
struct NotificationRequest {
    std::string title;
    std::string body;
    // (key, label) pairs in the order offered. The key "default" is the click on the
    // notification itself and carries no button.
    std::vector<std::pair<std::string, std::string>> actions;
    bool silent = true;
};

// What the service tells about notifications. Handlers are called on the main thread for
// every notification on the bus; the caller picks out its own by id.
struct NotificationEventHandlers {
    std::function<void(std::uint32_t id, const std::string& actionKey)> actionInvoked;
    std::function<void(std::uint32_t id)> closed;
};

// The desktop's notification service. Every call answers later, on the main thread, and
// never blocks on the service; an absent or silent service answers "nothing".
class DesktopNotifications {
public:
    static constexpr const char* kDefaultAction = "default";

    virtual ~DesktopNotifications() = default;

    // Whether a service answers, and whether it shows action buttons.
    struct ServerInfo {
        std::string name;
        bool actions = false;
        bool operator==(const ServerInfo&) const = default;
    };
    virtual void probe(std::function<void(std::optional<ServerInfo>)> answer) = 0;

    // Shows a new notification (never replacing an earlier one); `posted` hears the
    // service's id for it, or nothing when it was not shown.
    virtual void notify(const NotificationRequest& request,
                        std::function<void(std::optional<std::uint32_t>)> posted) = 0;

    virtual Subscription subscribe(NotificationEventHandlers handlers) = 0;
};

// org.freedesktop.Notifications on the session bus.
std::unique_ptr<DesktopNotifications> makeDesktopNotifications();

}  // namespace quillfen
