#include "support/StandInCompositor.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <QObject>
#include <QSocketNotifier>

#include <wayland-server.h>

#include "ext-idle-notify-v1-server-protocol.h"
#include "idle-server-protocol.h"

namespace quillfen::test {

namespace {

StandInCompositor& compositorOf(wl_resource* resource) {
    return *static_cast<StandInCompositor*>(wl_resource_get_user_data(resource));
}

void destroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

void bindSeat(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
    wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
}

}  // namespace

// What the protocols' requests do: each notification made joins the list, and leaves it with its
// resource.
struct StandInProtocols {
    static void add(wl_client* client, wl_resource* manager, std::uint32_t id, std::uint32_t timeout,
                    const wl_interface& interface, const void* implementation, const char* protocol) {
        auto& compositor = compositorOf(manager);
        wl_resource* resource = wl_resource_create(client, &interface, 1, id);
        wl_resource_set_implementation(resource, implementation, &compositor, [](wl_resource* gone) {
            auto& list = compositorOf(gone).notifications_;
            list.erase(
                std::remove_if(list.begin(), list.end(), [&](const auto& n) { return n.resource == gone; }),
                list.end());
        });
        compositor.notifications_.push_back({protocol, timeout, resource});
    }

    static void bindExt(wl_client* client, void* self, std::uint32_t, std::uint32_t id) {
        static const struct ext_idle_notification_v1_interface notification { destroyResource };
        // Filled in one by one, so that a newer protocol's later requests (which version 1 never
        // receives) stay empty.
        static const auto notifier = [] {
            struct ext_idle_notifier_v1_interface requests {};
            requests.destroy = destroyResource;
            requests.get_idle_notification = [](wl_client* c, wl_resource* manager, std::uint32_t id,
                                                std::uint32_t timeout, wl_resource*) {
                add(c, manager, id, timeout, ext_idle_notification_v1_interface, &notification,
                    "ext_idle_notifier_v1");
            };
            return requests;
        }();
        wl_resource* resource = wl_resource_create(client, &ext_idle_notifier_v1_interface, 1, id);
        wl_resource_set_implementation(resource, &notifier, self, nullptr);
    }

    static void bindKWin(wl_client* client, void* self, std::uint32_t, std::uint32_t id) {
        static const struct org_kde_kwin_idle_timeout_interface timeout {
            destroyResource, [](wl_client*, wl_resource*) {}
        };
        static const struct org_kde_kwin_idle_interface idle {
            [](wl_client* c, wl_resource* manager, std::uint32_t id, wl_resource*, std::uint32_t ms) {
                add(c, manager, id, ms, org_kde_kwin_idle_timeout_interface, &timeout, "org_kde_kwin_idle");
            }
        };
        wl_resource* resource = wl_resource_create(client, &org_kde_kwin_idle_interface, 1, id);
        wl_resource_set_implementation(resource, &idle, self, nullptr);
    }
};

StandInCompositor::StandInCompositor(Offers offers, Behaviour behaviour) : behaviour_(behaviour) {
    listening_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath();
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (listening_ < 0 || ::bind(listening_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_, 16) != 0)
        throw std::runtime_error("the stand-in compositor cannot listen at " + path);
    if (behaviour_ == Behaviour::neverAnswers) return;

    display_ = wl_display_create();
    if (wl_display_add_socket_fd(display_, listening_) != 0)
        throw std::runtime_error("wl_display_add_socket_fd");
    listening_ = -1;  // the display owns it now
    if (offers.seat) wl_global_create(display_, &wl_seat_interface, 7, this, bindSeat);
    if (offers.extIdleNotify)
        wl_global_create(display_, &ext_idle_notifier_v1_interface, 1, this, StandInProtocols::bindExt);
    if (offers.kwinIdle)
        wl_global_create(display_, &org_kde_kwin_idle_interface, 1, this, StandInProtocols::bindKWin);
    notifier_ = std::make_unique<QSocketNotifier>(wl_event_loop_get_fd(wl_display_get_event_loop(display_)),
                                                  QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { dispatch(); });
}

StandInCompositor::~StandInCompositor() {
    notifier_.reset();
    if (display_ != nullptr) {
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
    }
    if (listening_ >= 0) ::close(listening_);
}

void StandInCompositor::dispatch() {
    wl_event_loop_dispatch(wl_display_get_event_loop(display_), 0);
    flush();
}

void StandInCompositor::flush() {
    wl_display_flush_clients(display_);
}

void StandInCompositor::tell(bool idle) {
    for (const auto& n : notifications_) {
        const bool ext = std::strcmp(n.protocol, "ext_idle_notifier_v1") == 0;
        if (ext && idle) ext_idle_notification_v1_send_idled(n.resource);
        if (ext && !idle) ext_idle_notification_v1_send_resumed(n.resource);
        if (!ext && idle) org_kde_kwin_idle_timeout_send_idle(n.resource);
        if (!ext && !idle) org_kde_kwin_idle_timeout_send_resumed(n.resource);
    }
    flush();
}

void StandInCompositor::closeClients() {
    wl_list* list = wl_display_get_client_list(display_);
    for (wl_list* link = list->next; link != list;) {
        wl_list* next = link->next;
        wl_client_destroy(wl_client_from_link(link));
        link = next;
    }
    flush();
}

}  // namespace quillfen::test
