#include "platform/linux/WaylandIdleSource.h"

#include <cmath>

#include <wayland-client.h>

#include "platform/linux/WaylandConnection.h"

namespace quillfen {

WaylandIdleSource::WaylandIdleSource(std::shared_ptr<WaylandConnection> connection, Clock now,
                                     double timeoutSeconds, std::string global)
    : idle_(std::move(now), timeoutSeconds), connection_(std::move(connection)), global_(std::move(global)) {}

// The protocol's own objects went in its destructor; the seat goes last.
WaylandIdleSource::~WaylandIdleSource() {
    if (seat_ != nullptr) wl_seat_destroy(seat_);
    if (connection_) connection_->flush();
}

void WaylandIdleSource::start() {
    if (!connection_) return answered(Answer::silent);
    whenSettled_ = connection_->whenSettled([this] { listed(); });
}

void WaylandIdleSource::listed() {
    if (!connection_->offered(global_) || !connection_->offered("wl_seat")) return answered(Answer::silent);
    seat_ = connection_->bind<wl_seat>(wl_seat_interface, 1);
    const auto timeoutMs = static_cast<std::uint32_t>(std::lround(idle_.timeout() * 1000));
    const bool subscribed = seat_ != nullptr && subscribe(*connection_, seat_, timeoutMs);
    connection_->flush();
    answered(subscribed ? Answer::answers : Answer::silent);
}

std::optional<double> WaylandIdleSource::secondsSinceLastInput() {
    if (answer() != Answer::answers || connection_->state() == WaylandConnection::State::lost)
        return std::nullopt;
    return idle_.seconds();
}

}  // namespace quillfen
