#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/TestEnvironment.h"

struct wl_display;
struct wl_resource;
class QSocketNotifier;

namespace quillfen::test {

// A compositor of the test's own, in this process, on libwayland-server: it offers a seat and the
// idle protocols asked for, tells their notifications idle or resumed when the test says, and
// answers as the Qt event loop turns (test::spinUntil). Its socket lies in a temporary folder of
// its own.
class StandInCompositor {
public:
    enum class Behaviour {
        answers,
        // Listens, and never takes a client from its queue.
        neverAnswers,
    };
    struct Offers {
        bool seat = true;
        bool extIdleNotify = false;
        bool kwinIdle = false;
    };

    StandInCompositor() : StandInCompositor(Offers{}) {}
    explicit StandInCompositor(Offers offers, Behaviour behaviour = Behaviour::answers);
    ~StandInCompositor();
    StandInCompositor(const StandInCompositor&) = delete;
    StandInCompositor& operator=(const StandInCompositor&) = delete;

    // For WAYLAND_DISPLAY, absolute.
    std::string socketPath() const { return (dir_.path() / "wayland-test").string(); }
    const TempDir& runtimeFolder() const { return dir_; }

    // Every idle notification its clients hold, by the protocol's name, with the time-out asked.
    struct Notification {
        const char* protocol;
        std::uint32_t timeoutMs;
        wl_resource* resource;
    };
    const std::vector<Notification>& notifications() const { return notifications_; }
    void idled() { tell(true); }
    void resumed() { tell(false); }

    // Ends every client's connection, as a compositor that goes away does.
    void closeClients();

private:
    friend struct StandInProtocols;
    void dispatch();
    void flush();
    void tell(bool idle);

    TempDir dir_;
    Behaviour behaviour_;
    int listening_ = -1;
    wl_display* display_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<Notification> notifications_;
};

}  // namespace quillfen::test
