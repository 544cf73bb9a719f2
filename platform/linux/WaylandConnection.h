#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Delay.h"
#include "platform/Subscription.h"

// libwayland's own types, named here so that its headers stay with the files that speak a protocol.
struct wl_display;
struct wl_registry;
struct wl_callback;
struct wl_interface;
struct wl_proxy;

class QSocketNotifier;

namespace quillfen {

// The application's own connection to the compositor, beside the X11 one (through Xwayland)
// that Qt draws with: the protocols a compositor offers only to its native clients are spoken
// here. One per process, shared by every client of a protocol on it. It lists the compositor's
// globals at once and reads what the compositor sends on the main loop, never waiting for it:
// a compositor that does not list them within the answer delay, or that closes the connection,
// is one log line, and what it would tell is unknown from then on. Used on the main thread.
class WaylandConnection : public std::enable_shared_from_this<WaylandConnection> {
public:
    enum class State { listing, listed, lost };

    // Connects to the compositor named by `display` (as WAYLAND_DISPLAY names it): a socket's name
    // in $XDG_RUNTIME_DIR or an absolute path. Nothing (logged) when none is there to connect to.
    // Needs a running Qt event loop.
    static std::shared_ptr<WaylandConnection> open(const std::string& display, Delay delay,
                                                   double answerWithinSeconds);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    State state() const { return state_; }
    // Runs `step` once the globals are listed or the connection is lost; at once when that is
    // already so. A connection lost later is told by `state()`.
    Subscription whenSettled(std::function<void()> step);

    // The version of `interface` the compositor offers, once listed; nothing when it offers none.
    std::optional<std::uint32_t> offered(std::string_view interface) const;
    // A new object for the compositor's first global of `interface`, at `version` or the lower one
    // the compositor offers; nothing when it offers none or the connection is lost. The caller
    // destroys it (before the last reference to this connection goes) and flushes.
    wl_proxy* bind(const wl_interface& interface, std::uint32_t version);
    template <typename Object>
    Object* bind(const wl_interface& interface, std::uint32_t version) {
        return reinterpret_cast<Object*>(bind(interface, version));
    }

    // Sends what the clients have asked for; what the socket cannot take now goes when it can.
    void flush();

    wl_display* display() const { return display_; }

private:
    struct Global {
        std::string interface;
        std::uint32_t version;
    };

    WaylandConnection(wl_display* display, std::string name);
    void start(Delay delay, double answerWithinSeconds);
    void readEvents();
    void listed();
    void lose(const std::string& why);

    static void onGlobal(void* self, wl_registry*, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void onGlobalRemove(void* self, wl_registry*, std::uint32_t name);
    static void onListed(void* self, wl_callback* callback, std::uint32_t);

    wl_display* display_;
    std::string name_;
    wl_registry* registry_ = nullptr;
    wl_callback* listing_ = nullptr;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
    State state_ = State::listing;
    std::map<std::uint32_t, Global> globals_;
    Subscription answerDeadline_;
    ListenerList<> settled_;
};

}  // namespace quillfen
