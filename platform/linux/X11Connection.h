#pragma once

#include <memory>
#include <string>

// Xlib's own type, named here so that no X11 header has to be included.
struct _XDisplay;

namespace quillfen {

// One client connection to an X server that never takes the process down: Xlib's
// default handlers exit on a protocol error or a lost server, and a window may vanish
// between an event and the question about it.
class X11Connection {
public:
    // Nothing when no server answers; an empty name means $DISPLAY.
    static std::unique_ptr<X11Connection> open(const std::string& displayName);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    _XDisplay* display() const { return display_; }
    int fileDescriptor() const;
    // Once the server is gone the connection must not be used again.
    bool lost() const { return lost_; }

private:
    explicit X11Connection(_XDisplay* display);
    static void onConnectionLost(_XDisplay*, void* self);

    _XDisplay* display_;
    bool lost_ = false;
};

}  // namespace quillfen
