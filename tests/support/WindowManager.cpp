#include "support/WindowManager.h"

// X11 last: its macros break other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quillfen::test {

namespace {

std::map<std::string, std::string> withDisplay(const std::string& display) {
    auto environment = machineSettings();
    environment["DISPLAY"] = display;
    return environment;
}

// Openbox takes its screen's manager selection early in its start, and a window mapped between
// then and its event loop can be lost: openbox reads the map request into a queue of its own while
// it looks at the windows already there, and its loop then waits for the server rather than that
// queue, so the window stays unmapped, and never gets the focus, until some other client happens
// to send openbox something. The application connects only once openbox answers from its loop.
// Empty once it does; what went wrong otherwise.
std::string windowManagerReady(const std::string& display) {
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) return "the virtual display does not answer";
    std::string problem;
    const Atom manager = XInternAtom(x, "WM_S0", False);
    if (!waitUntil([&] { return XGetSelectionOwner(x, manager) != 0; }, kPatience)) {
        problem = "openbox did not start";
    } else if (!windowManagerCaughtUp(x)) {
        problem = "openbox does not answer";
    }
    XCloseDisplay(x);
    return problem;
}

}  // namespace

const std::map<std::string, std::string>& machineSettings() {
    static const std::map<std::string, std::string> settings{
        {"XDG_CONFIG_DIRS", "/etc/xdg"}, {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"}};
    return settings;
}

WindowManager::WindowManager(const std::string& display)
    : process_({"openbox", "--sm-disable"}, withDisplay(display)), problem_(windowManagerReady(display)) {}

// The window manager handles its events in order: once it answers a request for a probe
// window's frame extents, it has handled everything the server sent it before. The request is
// sent again at each look: one that reaches openbox while it is still starting can wait in its
// own queue, unhandled, until some later event wakes it.
bool windowManagerCaughtUp(Display* x) {
    const Window root = DefaultRootWindow(x);
    const Window probe = XCreateSimpleWindow(x, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom extents = XInternAtom(x, "_NET_FRAME_EXTENTS", False);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = probe;
    request.xclient.message_type = XInternAtom(x, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    const bool answered = waitUntil([&] {
        XSendEvent(x, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(x, probe, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data);
        if (data != nullptr) XFree(data);
        return count == 4;
    });
    XDestroyWindow(x, probe);
    XFlush(x);
    return answered;
}

}  // namespace quillfen::test
