#pragma once

#include <memory>
#include <string>

#include "support/TestEnvironment.h"

struct wl_display;
struct wl_listener;
class QSocketNotifier;

namespace quillfen::test {

// A compositor of the test's own, in this process, on libwayland-server: it offers a seat and the
// globals asked for, and answers as the Qt event loop turns (test::spinUntil). Its socket lies in
// a temporary folder of its own.
class StandInCompositor {
public:
    enum class Behaviour {
        answers,
        // Accepts each client and closes its connection at once, before any answer.
        closesAtOnce,
        // Listens, and never takes a client from its queue.
        neverAnswers,
    };
    struct Offers {
        bool seat = true;
    };

    StandInCompositor() : StandInCompositor(Offers{}) {}
    explicit StandInCompositor(Offers offers, Behaviour behaviour = Behaviour::answers);
    ~StandInCompositor();
    StandInCompositor(const StandInCompositor&) = delete;
    StandInCompositor& operator=(const StandInCompositor&) = delete;

    // For WAYLAND_DISPLAY, absolute.
    std::string socketPath() const { return (dir_.path() / "wayland-test").string(); }
    const TempDir& runtimeFolder() const { return dir_; }

    // Ends every client's connection, as a compositor that goes away does.
    void closeClients();
    int clients() const;

private:
    void dispatch();

    TempDir dir_;
    Behaviour behaviour_;
    int listening_ = -1;
    wl_display* display_ = nullptr;
    std::unique_ptr<wl_listener> clientCreated_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quillfen::test
