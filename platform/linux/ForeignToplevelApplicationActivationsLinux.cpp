#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <wayland-client.h>

#include "Support/SystemLog.h"
#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/FrontmostApplication.h"
#include "platform/linux/WaylandConnection.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace quillfen {

namespace {

// Later versions add only what this source does not read (fullscreen, a window's parent).
constexpr std::uint32_t kManagerVersion = 1;

class ForeignToplevelApplicationActivations final : public ApplicationActivations {
public:
    ForeignToplevelApplicationActivations(std::shared_ptr<WaylandConnection> connection,
                                          zwlr_foreign_toplevel_manager_v1* manager)
        : connection_(std::move(connection)), manager_(manager) {
        static const zwlr_foreign_toplevel_manager_v1_listener managerListener{&onToplevel, &onFinished};
        zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &managerListener, this);
        // The compositor tells every toplevel there is, and its state, before it answers a
        // sync made after the bind: what is in front by then was there at the start.
        static const wl_callback_listener listedListener{&onListed};
        listing_ = wl_display_sync(connection_->display());
        wl_callback_add_listener(listing_, &listedListener, this);
        connection_->flush();
    }

    ~ForeignToplevelApplicationActivations() override {
        toplevels_.clear();
        if (listing_ != nullptr) wl_callback_destroy(listing_);
        if (manager_ != nullptr) {
            zwlr_foreign_toplevel_manager_v1_stop(manager_);
            zwlr_foreign_toplevel_manager_v1_destroy(manager_);
        }
        connection_->flush();
    }

    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }

    // A compositor that went away tells nothing more (its connection logged that, once).
    Gap gap() const override { return {connection_->state() == WaylandConnection::State::lost, {}}; }

private:
    // One window, as the compositor tells it; its state counts once a `done` closes a change.
    struct Toplevel {
        Toplevel(ForeignToplevelApplicationActivations* owner, zwlr_foreign_toplevel_handle_v1* handle)
            : owner(owner), handle(handle) {}
        ~Toplevel() { zwlr_foreign_toplevel_handle_v1_destroy(handle); }
        Toplevel(const Toplevel&) = delete;
        Toplevel& operator=(const Toplevel&) = delete;

        ForeignToplevelApplicationActivations* owner;
        zwlr_foreign_toplevel_handle_v1* handle;
        std::string application;
        bool activated = false;
    };

    void activated(const Toplevel& toplevel) {
        // A window without an application id is an application of its own.
        std::string application = toplevel.application;
        if (application.empty()) {
            const auto id = wl_proxy_get_id(reinterpret_cast<wl_proxy*>(toplevel.handle));
            application = "window:" + std::to_string(id);
        }
        if (listing_ != nullptr) {
            frontmost_.startWith(std::move(application));
        } else if (frontmost_.switchesTo(std::move(application))) {
            listeners_.notify();
        }
    }

    static void onToplevel(void* self, zwlr_foreign_toplevel_manager_v1*,
                           zwlr_foreign_toplevel_handle_v1* handle) {
        static const zwlr_foreign_toplevel_handle_v1_listener toplevelListener{
            &onTitle, &onApplication, &onOutputEnter, &onOutputLeave,
            &onState, &onDone,        &onClosed,      &onParent};
        auto* owner = static_cast<ForeignToplevelApplicationActivations*>(self);
        auto toplevel = std::make_unique<Toplevel>(owner, handle);
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelListener, toplevel.get());
        owner->toplevels_.emplace(handle, std::move(toplevel));
    }

    static void onFinished(void* self, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* owner = static_cast<ForeignToplevelApplicationActivations*>(self);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        owner->manager_ = nullptr;
    }

    static void onListed(void* self, wl_callback* callback, std::uint32_t) {
        wl_callback_destroy(callback);
        static_cast<ForeignToplevelApplicationActivations*>(self)->listing_ = nullptr;
    }

    // Its title is never read.
    static void onTitle(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void onOutputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void onOutputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void onParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

    static void onApplication(void* data, zwlr_foreign_toplevel_handle_v1*, const char* application) {
        static_cast<Toplevel*>(data)->application = application != nullptr ? application : "";
    }

    static void onState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        bool activated = false;
        const auto* state = static_cast<const std::uint32_t*>(states->data);
        for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i)
            activated = activated || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        static_cast<Toplevel*>(data)->activated = activated;
    }

    static void onDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
        const auto* toplevel = static_cast<Toplevel*>(data);
        if (toplevel->activated) toplevel->owner->activated(*toplevel);
    }

    static void onClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        static_cast<Toplevel*>(data)->owner->toplevels_.erase(handle);
    }

    std::shared_ptr<WaylandConnection> connection_;
    zwlr_foreign_toplevel_manager_v1* manager_;
    wl_callback* listing_ = nullptr;
    std::map<zwlr_foreign_toplevel_handle_v1*, std::unique_ptr<Toplevel>> toplevels_;
    FrontmostApplication frontmost_;
    ListenerList<> listeners_;
};

}  // namespace

std::unique_ptr<ApplicationActivations> makeForeignToplevelApplicationActivations(
    std::shared_ptr<WaylandConnection> connection) {
    if (!connection) return nullptr;
    auto* manager = connection->bind<zwlr_foreign_toplevel_manager_v1>(
        zwlr_foreign_toplevel_manager_v1_interface, kManagerVersion);
    if (manager == nullptr) return nullptr;
    SystemLog::info("sensing", "application switches come from the compositor's list of windows");
    return std::make_unique<ForeignToplevelApplicationActivations>(std::move(connection), manager);
}

}  // namespace quillfen
