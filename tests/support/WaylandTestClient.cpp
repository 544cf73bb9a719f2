// A small native Wayland client that the tests of the compositors' protocols run beside a real
// compositor, at $WAYLAND_DISPLAY:
//   quillfen_wayland_client window APP_ID   a window of that application that the compositor
//                                            focuses; writes "shown" to descriptor 3 once the
//                                            compositor has its first frame, and runs until it
//                                            is ended
//   quillfen_wayland_client input           moves the pointer and presses a key through KWin's
//                                            org_kde_kwin_fake_input, then ends; status 2 where
//                                            the compositor does not offer it to this program
//   quillfen_wayland_client pointer         moves the pointer and clicks through wlroots'
//                                            zwlr_virtual_pointer_v1, a pointer device of its
//                                            own that goes when it ends; status 2 where the
//                                            compositor does not offer it
//   quillfen_wayland_client x11-window CLASS
//                                            an X11 client's window of that class on $DISPLAY (the
//                                            compositor's Xwayland), mapped once the
//                                            compositor's window manager is there; writes
//                                            "shown" once the server has it, and runs until it
//                                            is ended, mapping it again while the window
//                                            manager has not taken it
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <wayland-client.h>

#include "fake-input-client-protocol.h"
#include "xdg-shell-client-protocol.h"

// X11 defines macros (None, Status, Bool, ...) that break other headers: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// wlroots' virtual pointer, whose protocol no Debian package carries: the requests used here,
// by opcode, each with the signature of its arguments.
const wl_interface* kNoTypes[5] = {};
extern const wl_interface virtualPointerInterface;
const wl_message kVirtualPointerRequests[] = {
    {"motion", "uff", kNoTypes},     {"motion_absolute", "uuuuu", kNoTypes}, {"button", "uuu", kNoTypes},
    {"axis", "uuf", kNoTypes},       {"frame", "", kNoTypes},                {"axis_source", "u", kNoTypes},
    {"axis_stop", "uu", kNoTypes},   {"axis_discrete", "uufi", kNoTypes},    {"destroy", "", kNoTypes},
};
const wl_interface virtualPointerInterface = {"zwlr_virtual_pointer_v1", 1, 9, kVirtualPointerRequests, 0,
                                              nullptr};
const wl_interface* kCreateTypes[] = {&wl_seat_interface, &virtualPointerInterface};
const wl_message kVirtualPointerManagerRequests[] = {{"create_virtual_pointer", "?on", kCreateTypes}};
const wl_interface virtualPointerManagerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, kVirtualPointerManagerRequests, 0, nullptr};
enum VirtualPointerRequest : std::uint32_t { motion = 0, button = 2, frame = 4, destroy = 8 };

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* shell = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
    wl_proxy* virtualPointers = nullptr;
};

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
    auto* g = static_cast<Globals*>(data);
    const std::string which(interface);
    if (which == wl_compositor_interface.name) {
        g->compositor =
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    } else if (which == wl_shm_interface.name) {
        g->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (which == xdg_wm_base_interface.name) {
        g->shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    } else if (which == org_kde_kwin_fake_input_interface.name) {
        g->fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, version < 4 ? version : 4));
    } else if (which == virtualPointerManagerInterface.name) {
        g->virtualPointers =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &virtualPointerManagerInterface, 1));
    }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

// One frame of plain grey, in memory shared with the compositor.
wl_buffer* greyBuffer(wl_shm* shm, int width, int height) {
    const int stride = width * 4;
    const int size = stride * height;
    const int fd = memfd_create("quillfen-test-window", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    void* pixels = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) return nullptr;
    std::memset(pixels, 0x80, static_cast<std::size_t>(size));
    munmap(pixels, static_cast<std::size_t>(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

struct Shown {
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    bool shown = false;
};

int window(wl_display* display, const Globals& g, const char* appId) {
    if (g.compositor == nullptr || g.shm == nullptr || g.shell == nullptr) return 2;
    static const xdg_wm_base_listener pong{
        [](void*, xdg_wm_base* shell, std::uint32_t serial) { xdg_wm_base_pong(shell, serial); }};
    xdg_wm_base_add_listener(g.shell, &pong, nullptr);
    Shown w;
    w.surface = wl_compositor_create_surface(g.compositor);
    w.buffer = greyBuffer(g.shm, 64, 64);
    xdg_surface* shellSurface = xdg_wm_base_get_xdg_surface(g.shell, w.surface);
    static const xdg_surface_listener configured{[](void* data, xdg_surface* s, std::uint32_t serial) {
        auto* win = static_cast<Shown*>(data);
        xdg_surface_ack_configure(s, serial);
        wl_surface_attach(win->surface, win->buffer, 0, 0);
        wl_surface_commit(win->surface);
        win->shown = true;
    }};
    xdg_surface_add_listener(shellSurface, &configured, &w);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(shellSurface);
    xdg_toplevel_set_app_id(toplevel, appId);
    xdg_toplevel_set_title(toplevel, appId);
    wl_surface_commit(w.surface);
    while (!w.shown)
        if (wl_display_dispatch(display) == -1) return 1;
    // Told once the compositor has taken the frame, and so has shown the window (and focused it).
    if (wl_display_roundtrip(display) == -1) return 1;
    dprintf(3, "shown\n");
    while (wl_display_dispatch(display) != -1) {
    }
    return 0;
}

int input(wl_display* display, const Globals& g) {
    if (g.fakeInput == nullptr) return 2;
    org_kde_kwin_fake_input_authenticate(g.fakeInput, "quillfen tests", "input for the idle test");
    org_kde_kwin_fake_input_pointer_motion(g.fakeInput, wl_fixed_from_int(3), wl_fixed_from_int(2));
    if (org_kde_kwin_fake_input_get_version(g.fakeInput) >= 4) {
        constexpr std::uint32_t kShiftKey = 42;
        org_kde_kwin_fake_input_keyboard_key(g.fakeInput, kShiftKey, 1);
        org_kde_kwin_fake_input_keyboard_key(g.fakeInput, kShiftKey, 0);
    }
    return wl_display_roundtrip(display) < 0 ? 1 : 0;
}

int pointer(wl_display* display, const Globals& g) {
    if (g.virtualPointers == nullptr) return 2;
    wl_proxy* device =
        wl_proxy_marshal_flags(g.virtualPointers, 0, &virtualPointerInterface, 1, 0, nullptr, nullptr);
    constexpr std::uint32_t kLeftButton = 0x110;
    wl_proxy_marshal_flags(device, motion, nullptr, 1, 0, 0u, wl_fixed_from_int(3), wl_fixed_from_int(2));
    wl_proxy_marshal_flags(device, frame, nullptr, 1, 0);
    for (std::uint32_t pressed : {1u, 0u}) {
        wl_proxy_marshal_flags(device, button, nullptr, 1, 0, 0u, kLeftButton, pressed);
        wl_proxy_marshal_flags(device, frame, nullptr, 1, 0);
    }
    wl_proxy_marshal_flags(device, destroy, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
    return wl_display_roundtrip(display) < 0 ? 1 : 0;
}

// Whether a window manager has said it is there, on the root window (`check` is
// _NET_SUPPORTING_WM_CHECK). Xwayland takes clients before the compositor's window manager has
// connected, and a window mapped then is never managed.
bool windowManagerIsThere(Display* display, Atom check) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* value = nullptr;
    const bool there = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &count, &left, &value) == Success &&
                       type == XA_WINDOW && count == 1;
    if (value != nullptr) XFree(value);
    return there;
}

int x11Window(const char* applicationClass) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 1;
    // Twenty seconds, as the tests wait; a window manager that never says so gets the window anyway.
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    for (int i = 0; i < 1000 && !windowManagerIsThere(display, check); ++i)
        usleep(20 * 1000);
    constexpr int kSide = 64;
    const ::Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kSide, kSide, 0, 0, 0);
    std::string name = applicationClass;
    XClassHint hint{name.data(), name.data()};
    XSetClassHint(display, window, &hint);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XSync(display, False);
    dprintf(3, "shown\n");
    // Managed once the window manager has reparented the window or given it a place of its own; a
    // window manager that only configures it as it asked may not have shown it. wlroots' Xwayland
    // loses a window whose first frame reaches it before it has paired the window's surface with
    // it (seen in about one run of forty on Debian 13's sway): the window is never shown and,
    // waiting for a frame that never comes, draws nothing more. Mapped again, it has a new surface.
    bool managed = false;
    const int connection = ConnectionNumber(display);
    for (int tries = 1;;) {
        pollfd ready{connection, POLLIN, 0};
        const bool quiet = XPending(display) == 0 && ::poll(&ready, 1, managed ? -1 : 2000) == 0;
        if (quiet && !managed && tries < 10) {
            XUnmapWindow(display, window);
            XMapWindow(display, window);
            XFlush(display);
            ++tries;
            std::fprintf(stderr, "mapped again, try %d\n", tries);
        }
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            managed = managed || event.type == ReparentNotify ||
                      (event.type == ConfigureNotify &&
                       (event.xconfigure.x != 0 || event.xconfigure.y != 0 ||
                        event.xconfigure.width != kSide || event.xconfigure.height != kSide));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if ((mode != "window" || argc != 3) && ((mode != "input" && mode != "pointer") || argc != 2) &&
        (mode != "x11-window" || argc != 3)) {
        std::fprintf(stderr, "usage: %s window APP_ID | input | pointer | x11-window CLASS\n", argv[0]);
        return 64;
    }
    if (mode == "x11-window") return x11Window(argv[2]);
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) return 1;
    Globals g;
    static const wl_registry_listener listener{global, globalRemove};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &g);
    const int status = wl_display_roundtrip(display) < 0 ? 1
                       : mode == "pointer"               ? pointer(display, g)
                       : mode == "window"                ? window(display, g, argv[2])
                                                         : input(display, g);
    // What it made goes before the connection, as a leak check at exit expects.
    for (void* made : {static_cast<void*>(g.compositor), static_cast<void*>(g.shm), static_cast<void*>(g.shell),
                       static_cast<void*>(g.fakeInput), static_cast<void*>(g.virtualPointers)})
        if (made != nullptr) wl_proxy_destroy(static_cast<wl_proxy*>(made));
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return status;
}
