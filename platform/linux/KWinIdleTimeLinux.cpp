#include <wayland-client.h>

#include "idle-client-protocol.h"
#include "platform/linux/WaylandConnection.h"
#include "platform/linux/WaylandIdleSource.h"

namespace quillfen {

namespace {

// KDE's older protocol, which wlroots compositors before 0.17 (sway 1.7) offer too.
class KWinIdleTime final : public WaylandIdleSource {
public:
    KWinIdleTime(std::shared_ptr<WaylandConnection> connection, Clock now, double timeoutSeconds)
        : WaylandIdleSource(std::move(connection), std::move(now), timeoutSeconds, "org_kde_kwin_idle") {
        start();
    }

    ~KWinIdleTime() override {
        if (timeout_ != nullptr) org_kde_kwin_idle_timeout_release(timeout_);
        if (manager_ != nullptr) org_kde_kwin_idle_destroy(manager_);
    }

private:
    bool subscribe(WaylandConnection& connection, wl_seat* seat, std::uint32_t timeoutMs) override {
        static const org_kde_kwin_idle_timeout_listener listener{
            [](void* self, org_kde_kwin_idle_timeout*) { static_cast<KWinIdleTime*>(self)->idle_.idled(); },
            [](void* self, org_kde_kwin_idle_timeout*) { static_cast<KWinIdleTime*>(self)->idle_.resumed(); },
        };
        manager_ = connection.bind<org_kde_kwin_idle>(org_kde_kwin_idle_interface, 1);
        if (manager_ == nullptr) return false;
        timeout_ = org_kde_kwin_idle_get_idle_timeout(manager_, seat, timeoutMs);
        org_kde_kwin_idle_timeout_add_listener(timeout_, &listener, this);
        return true;
    }

    org_kde_kwin_idle* manager_ = nullptr;
    org_kde_kwin_idle_timeout* timeout_ = nullptr;
};

}  // namespace

std::unique_ptr<IdleSource> makeKWinIdleTime(std::shared_ptr<WaylandConnection> connection, Clock now,
                                             double timeoutSeconds) {
    return std::make_unique<KWinIdleTime>(std::move(connection), std::move(now), timeoutSeconds);
}

}  // namespace quillfen
