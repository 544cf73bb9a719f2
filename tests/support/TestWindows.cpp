// Windows for the tests that switch between them on a real compositor: a native Wayland toplevel
// for each argument, with that argument as its application id and its title, shown with a plain
// buffer; an argument "x11:CLASS" is an X11 window of that class on $DISPLAY instead. Writes
// "ready" to descriptor 3 (when open) once it has asked for every window, and lives until it is
// ended or the compositor goes; at most a minute.

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <wayland-client.h>

#include "xdg-shell-client-protocol.h"

// X11 defines macros (None, Status, Bool, ...) that break other headers: it comes last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kSide = 64;

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
};

struct Toplevel {
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    bool configured = false;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        globals->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        globals->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        globals->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

void onPing(void*, xdg_wm_base* wmBase, std::uint32_t serial) { xdg_wm_base_pong(wmBase, serial); }
const xdg_wm_base_listener kWmBaseListener{onPing};

void onSurfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<Toplevel*>(data)->configured = true;
}
const xdg_surface_listener kSurfaceListener{onSurfaceConfigure};

void onToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void onToplevelClose(void*, xdg_toplevel*) {}
void onToplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void onToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener{onToplevelConfigure, onToplevelClose, onToplevelBounds,
                                              onToplevelCapabilities};

// One grey buffer that every window shows.
wl_buffer* makeBuffer(wl_shm* shm) {
    const int stride = kSide * 4;
    const int size = stride * kSide;
    const int fd = ::memfd_create("native-window", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, size) != 0) return nullptr;
    void* pixels = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) return nullptr;
    std::memset(pixels, 0x80, static_cast<std::size_t>(size));
    ::munmap(pixels, static_cast<std::size_t>(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, kSide, kSide, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return buffer;
}

}  // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) return 1;
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (globals.compositor == nullptr || globals.shm == nullptr || globals.wmBase == nullptr) return 1;
    xdg_wm_base_add_listener(globals.wmBase, &kWmBaseListener, nullptr);
    wl_buffer* buffer = makeBuffer(globals.shm);
    if (buffer == nullptr) return 1;

    std::vector<std::string> x11Classes;
    std::vector<std::string> applications;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("x11:", 0) == 0)
            x11Classes.push_back(argument.substr(4));
        else
            applications.push_back(argument);
    }
    Display* x11 = nullptr;
    if (!x11Classes.empty()) {
        x11 = XOpenDisplay(nullptr);
        if (x11 == nullptr) return 1;
        for (auto& name : x11Classes) {
            const ::Window window = XCreateSimpleWindow(x11, DefaultRootWindow(x11), 0, 0, kSide, kSide, 0, 0, 0);
            XClassHint hint{name.data(), name.data()};
            XSetClassHint(x11, window, &hint);
            XMapWindow(x11, window);
        }
        XSync(x11, False);
    }

    std::vector<Toplevel> windows(applications.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Toplevel& window = windows[i];
        window.surface = wl_compositor_create_surface(globals.compositor);
        window.xdgSurface = xdg_wm_base_get_xdg_surface(globals.wmBase, window.surface);
        xdg_surface_add_listener(window.xdgSurface, &kSurfaceListener, &window);
        window.toplevel = xdg_surface_get_toplevel(window.xdgSurface);
        xdg_toplevel_add_listener(window.toplevel, &kToplevelListener, nullptr);
        xdg_toplevel_set_app_id(window.toplevel, applications[i].c_str());
        xdg_toplevel_set_title(window.toplevel, applications[i].c_str());
        wl_surface_commit(window.surface);
    }
    // A window is shown once its first configure is answered with a buffer.
    for (Toplevel& window : windows) {
        while (!window.configured)
            if (wl_display_dispatch(display) < 0) return 1;
        wl_surface_attach(window.surface, buffer, 0, 0);
        wl_surface_commit(window.surface);
    }
    wl_display_roundtrip(display);
    if (::fcntl(3, F_GETFD) != -1) {
        if (::write(3, "ready\n", 6) != 6) return 1;
        ::close(3);
    }

    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < end) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (::poll(&fd, 1, 200) > 0) {
            if (wl_display_read_events(display) < 0) return 0;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) return 0;
        while (x11 != nullptr && XPending(x11) > 0) {
            XEvent event;
            XNextEvent(x11, &event);
        }
    }
    return 0;
}
