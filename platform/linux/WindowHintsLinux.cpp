#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/WindowHints.h"
#include "platform/linux/X11Connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quillfen {

void keepOnEveryWorkspace(std::uint64_t nativeWindow) {
    if (nativeWindow == 0) return;
    // A connection of our own, for this call only (a pane is built seldom, and a connection kept
    // would outlive the server at the end of a session): properties of any window may be set by
    // any client, and the window manager reads them when the window is first mapped.
    std::unique_ptr<X11Connection> connection = X11Connection::open("");
    if (!connection || connection->lost()) return;
    Display* display = connection->display();
    const Window window = static_cast<Window>(nativeWindow);

    const long allDesktops = 0xFFFFFFFFL;
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&allDesktops), 1);
    std::vector<Atom> states = {XInternAtom(display, "_NET_WM_STATE_STICKY", False),
                                XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                                XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
    // Appended: the toolkit merges its own states into what it finds when it maps the window.
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));
    // Done before the toolkit's own connection maps the window.
    XSync(display, False);
}

void nameApplicationObject(std::uint64_t nativeWindow, const std::string& uniqueBusName,
                           const std::string& objectPath) {
    if (nativeWindow == 0 || uniqueBusName.empty()) return;
    std::unique_ptr<X11Connection> connection = X11Connection::open("");
    if (!connection || connection->lost()) return;
    Display* display = connection->display();
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    for (const auto& [name, value] :
         {std::pair<const char*, const std::string&>{"_GTK_UNIQUE_BUS_NAME", uniqueBusName},
          std::pair<const char*, const std::string&>{"_GTK_APPLICATION_OBJECT_PATH", objectPath}})
        XChangeProperty(display, static_cast<Window>(nativeWindow), XInternAtom(display, name, False), utf8,
                        8, PropModeReplace, reinterpret_cast<const unsigned char*>(value.data()),
                        static_cast<int>(value.size()));
    XSync(display, False);
}

}  // namespace quillfen
