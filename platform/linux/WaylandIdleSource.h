#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/IdleSince.h"
#include "platform/linux/IdleTimeLinux.h"

struct wl_seat;

namespace quillfen {

class WaylandConnection;

// What the compositor's idle protocols share: it waits for the globals, asks for a notification on
// the first seat where the protocol's global is offered (else it is silent), and counts from the
// notification's events until the connection is lost.
class WaylandIdleSource : public IdleSource {
public:
    ~WaylandIdleSource() override;
    std::optional<double> secondsSinceLastInput() override;
    std::string name() const override { return "the compositor's " + global_; }

protected:
    WaylandIdleSource(std::shared_ptr<WaylandConnection> connection, Clock now, double timeoutSeconds,
                      std::string global);
    // The last step of a protocol's own constructor.
    void start();
    // Binds the protocol's global and asks for a notification after `timeoutMs` without input
    // on `seat`; false when that cannot be had.
    virtual bool subscribe(WaylandConnection& connection, wl_seat* seat, std::uint32_t timeoutMs) = 0;

    IdleSince idle_;

private:
    void listed();

    std::shared_ptr<WaylandConnection> connection_;
    std::string global_;
    wl_seat* seat_ = nullptr;
    Subscription whenSettled_;
};

}  // namespace quillfen
