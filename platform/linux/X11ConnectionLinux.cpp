#include <mutex>

#include "platform/linux/X11Connection.h"

// X11 defines macros (None, Status, Bool, ...) that break other headers: it comes last.
#include <X11/Xlib.h>

namespace quillfen {

namespace {

// A request about a window that has just gone away is answered with an error; that is an
// ordinary outcome here, not a reason to exit.
int ignoreProtocolError(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

std::unique_ptr<X11Connection> X11Connection::open(const std::string& displayName) {
    static std::once_flag handlers;
    std::call_once(handlers, [] { XSetErrorHandler(ignoreProtocolError); });
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display == nullptr) return nullptr;
    auto connection = std::unique_ptr<X11Connection>(new X11Connection(display));
    XSetIOErrorExitHandler(display, &X11Connection::onConnectionLost, connection.get());
    return connection;
}

X11Connection::X11Connection(_XDisplay* display) : display_(display) {}

// Xlib skips all traffic on a display whose connection broke, so closing it only frees it.
X11Connection::~X11Connection() {
    XCloseDisplay(display_);
}

int X11Connection::fileDescriptor() const {
    return ConnectionNumber(display_);
}

void X11Connection::onConnectionLost(_XDisplay*, void* self) {
    static_cast<X11Connection*>(self)->lost_ = true;
}

}  // namespace quillfen
