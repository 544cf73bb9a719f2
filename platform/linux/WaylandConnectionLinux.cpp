#include "platform/linux/WaylandConnection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QObject>
#include <QSocketNotifier>

#include <wayland-client.h>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

constexpr std::string_view kCategory = "wayland";

// The socket's path as libwayland finds it: an absolute name as it stands, else one in the
// runtime folder. Nothing when neither can be had.
std::optional<std::string> socketPath(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.front() == '/') return name;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/') return std::nullopt;
    return std::string(runtime) + "/" + name;
}

// A connection that never waits: a compositor whose queue of new clients is full is one that
// does not answer now.
int connectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

}  // namespace

std::shared_ptr<WaylandConnection> WaylandConnection::open(const std::string& display, Delay delay,
                                                           double answerWithinSeconds) {
    const auto path = socketPath(display);
    if (!path) {
        SystemLog::notice(kCategory, "no Wayland compositor is named (WAYLAND_DISPLAY, XDG_RUNTIME_DIR)");
        return nullptr;
    }
    const int fd = connectTo(*path);
    if (fd < 0) {
        SystemLog::notice(kCategory,
                          "no Wayland compositor answers at " + *path + ": " + std::strerror(errno));
        return nullptr;
    }
    wl_display* connection = wl_display_connect_to_fd(fd);
    if (connection == nullptr) {
        ::close(fd);
        SystemLog::notice(kCategory, "cannot speak Wayland at " + *path);
        return nullptr;
    }
    std::shared_ptr<WaylandConnection> self(new WaylandConnection(connection, *path));
    self->start(std::move(delay), answerWithinSeconds);
    return self;
}

WaylandConnection::WaylandConnection(wl_display* display, std::string name)
    : display_(display), name_(std::move(name)) {}

WaylandConnection::~WaylandConnection() {
    reader_.reset();
    writer_.reset();
    if (listing_ != nullptr) wl_callback_destroy(listing_);
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandConnection::start(Delay delay, double answerWithinSeconds) {
    static const wl_registry_listener registryListener{&WaylandConnection::onGlobal,
                                                       &WaylandConnection::onGlobalRemove};
    static const wl_callback_listener listedListener{&WaylandConnection::onListed};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    // The compositor answers requests in order: when the sync is done, every global has been told.
    listing_ = wl_display_sync(display_);
    wl_callback_add_listener(listing_, &listedListener, this);

    const int fd = wl_display_get_fd(display_);
    reader_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(reader_.get(), &QSocketNotifier::activated, reader_.get(), [this] { readEvents(); });
    writer_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writer_->setEnabled(false);
    QObject::connect(writer_.get(), &QSocketNotifier::activated, writer_.get(), [this] { flush(); });
    flush();

    std::weak_ptr<WaylandConnection> weak = weak_from_this();
    answerDeadline_ = delay(answerWithinSeconds, [weak, answerWithinSeconds] {
        auto self = weak.lock();
        if (self && self->state_ == State::listing)
            self->lose("did not list its globals within " + secondsText(answerWithinSeconds));
    });
}

Subscription WaylandConnection::whenSettled(std::function<void()> step) {
    if (state_ == State::listing) return settled_.add(std::move(step));
    step();
    return {};
}

std::optional<std::uint32_t> WaylandConnection::offered(std::string_view interface) const {
    if (state_ != State::listed) return std::nullopt;
    for (const auto& [name, global] : globals_) {
        if (global.interface == interface) return global.version;
    }
    return std::nullopt;
}

wl_proxy* WaylandConnection::bind(const wl_interface& interface, std::uint32_t version) {
    if (state_ != State::listed) return nullptr;
    for (const auto& [name, global] : globals_) {
        if (global.interface != interface.name) continue;
        const std::uint32_t agreed = std::min(version, global.version);
        return static_cast<wl_proxy*>(wl_registry_bind(registry_, name, &interface, agreed));
    }
    return nullptr;
}

void WaylandConnection::flush() {
    if (state_ == State::lost) return;
    if (wl_display_flush(display_) >= 0) {
        writer_->setEnabled(false);
    } else if (errno == EAGAIN) {
        writer_->setEnabled(true);
    } else {
        lose(std::string("closed the connection: ") + std::strerror(errno));
    }
}

// Only what the socket holds now is read, and only what was read is dispatched: libwayland's
// own dispatch would wait for the compositor.
void WaylandConnection::readEvents() {
    // A listener may let go of every other reference to this connection.
    auto keep = shared_from_this();
    const auto broken = [this] {
        const int error = wl_display_get_error(display_);
        return std::string(error == EPROTO ? "ended the connection over a protocol error"
                                           : std::string("closed the connection: ") + std::strerror(error));
    };
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) return lose(broken());
    }
    if (wl_display_read_events(display_) < 0) return lose(broken());
    if (wl_display_dispatch_pending(display_) < 0) return lose(broken());
    flush();
}

void WaylandConnection::listed() {
    state_ = State::listed;
    answerDeadline_.reset();
    settled_.notify();
}

void WaylandConnection::lose(const std::string& why) {
    if (state_ == State::lost) return;
    const bool wasListing = state_ == State::listing;
    state_ = State::lost;
    reader_->setEnabled(false);
    writer_->setEnabled(false);
    answerDeadline_.reset();
    SystemLog::notice(kCategory,
                      "the compositor at " + name_ + " " + why + "; what it would tell is unknown");
    if (wasListing) settled_.notify();
}

void WaylandConnection::onGlobal(void* self, wl_registry*, std::uint32_t name, const char* interface,
                                 std::uint32_t version) {
    static_cast<WaylandConnection*>(self)->globals_[name] = Global{interface, version};
}

void WaylandConnection::onGlobalRemove(void* self, wl_registry*, std::uint32_t name) {
    static_cast<WaylandConnection*>(self)->globals_.erase(name);
}

void WaylandConnection::onListed(void* self, wl_callback* callback, std::uint32_t) {
    auto* connection = static_cast<WaylandConnection*>(self);
    wl_callback_destroy(callback);
    connection->listing_ = nullptr;
    connection->listed();
}

}  // namespace quillfen
