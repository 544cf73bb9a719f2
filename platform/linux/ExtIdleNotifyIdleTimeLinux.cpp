#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "platform/linux/WaylandConnection.h"
#include "platform/linux/WaylandIdleSource.h"

namespace quillfen {

namespace {

// The staging protocol that compositors share (wlroots from 0.17, KWin, others).
class ExtIdleNotifyIdleTime final : public WaylandIdleSource {
public:
    ExtIdleNotifyIdleTime(std::shared_ptr<WaylandConnection> connection, Clock now, double timeoutSeconds)
        : WaylandIdleSource(std::move(connection), std::move(now), timeoutSeconds, "ext_idle_notifier_v1") {
        start();
    }

    ~ExtIdleNotifyIdleTime() override {
        if (notification_ != nullptr) ext_idle_notification_v1_destroy(notification_);
        if (notifier_ != nullptr) ext_idle_notifier_v1_destroy(notifier_);
    }

private:
    bool subscribe(WaylandConnection& connection, wl_seat* seat, std::uint32_t timeoutMs) override {
        static const ext_idle_notification_v1_listener listener{
            [](void* self, ext_idle_notification_v1*) {
                static_cast<ExtIdleNotifyIdleTime*>(self)->idle_.idled();
            },
            [](void* self, ext_idle_notification_v1*) {
                static_cast<ExtIdleNotifyIdleTime*>(self)->idle_.resumed();
            },
        };
        notifier_ = connection.bind<ext_idle_notifier_v1>(ext_idle_notifier_v1_interface, 1);
        if (notifier_ == nullptr) return false;
        notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, timeoutMs, seat);
        ext_idle_notification_v1_add_listener(notification_, &listener, this);
        return true;
    }

    ext_idle_notifier_v1* notifier_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
};

}  // namespace

std::unique_ptr<IdleSource> makeExtIdleNotifyIdleTime(std::shared_ptr<WaylandConnection> connection,
                                                      Clock now, double timeoutSeconds) {
    return std::make_unique<ExtIdleNotifyIdleTime>(std::move(connection), std::move(now), timeoutSeconds);
}

}  // namespace quillfen
