#include "support/DesktopSession.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <cstdlib>
#include <functional>

#include "support/QtTestSupport.h"
#include "support/WindowManager.h"

// X11 last: its macros break other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

namespace quillfen::test {

namespace {

DesktopSession* instance = nullptr;

bool classMatches(Display* x, Window w, const std::string& wanted) {
    XClassHint hint{};
    if (XGetClassHint(x, w, &hint) == 0) return false;
    bool match = (hint.res_name && wanted == hint.res_name) || (hint.res_class && wanted == hint.res_class);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return match;
}

Window findBelow(Display* x, Window w, const std::function<bool(Window)>& test) {
    if (test(w)) return w;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(x, w, &root, &parent, &children, &count) == 0) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i)
        found = findBelow(x, children[i], test);
    if (children) XFree(children);
    return found;
}

// Sees one property of one window change, among the X events that Qt handles.
class PropertyWatch final : public QAbstractNativeEventFilter {
public:
    PropertyWatch(Window window, Atom property) : window_(window), property_(property) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PropertyWatch() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    PropertyWatch(const PropertyWatch&) = delete;
    PropertyWatch& operator=(const PropertyWatch&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
        if (change->window == window_ && change->atom == property_) seen = true;
        return false;
    }

    bool seen = false;

private:
    Window window_;
    Atom property_;
};

// Qt reads its X events in order: once it sees a property of its window change, it has read
// everything the server sent it before.
bool qtCaughtUp(Display* x, Window window) {
    const Atom marker = XInternAtom(x, "_QUILLFEN_TEST_SETTLED", False);
    PropertyWatch watch(window, marker);
    const long value = 1;
    XChangeProperty(x, window, marker, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XFlush(x);
    return spinUntil([&] { return watch.seen; });
}

}  // namespace

void DesktopSession::SetUp() {
    instance = this;
    runtime_ = std::make_unique<TempDir>();
    bus_ = std::make_unique<PrivateBus>();
    display_ = std::make_unique<VirtualDisplay>();
    env_.push_back(std::make_unique<ScopedEnv>("DISPLAY", display_->name()));
    env_.push_back(std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", std::nullopt));
    env_.push_back(std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", bus_->address()));
    env_.push_back(std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", bus_->address()));
    env_.push_back(std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", "xcb"));
    // The toolkit as the application runs it: without the X input extension.
    env_.push_back(std::make_unique<ScopedEnv>("QT_XCB_NO_XI2", "1"));
    windowManager_ = std::make_unique<WindowManager>(display_->name());
    if (!windowManager_->problem().empty()) {
        std::fprintf(stderr, "desktop session: %s\n", windowManager_->problem().c_str());
        std::abort();
    }
    if (!startTray()) {
        std::fprintf(stderr, "desktop session: trayer did not take the tray\n");
        std::abort();
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
}

void DesktopSession::TearDown() {
    app_.reset();
    tray_.reset();
    windowManager_.reset();
    env_.clear();
    display_.reset();
    bus_.reset();
    runtime_.reset();
    instance = nullptr;
}

bool DesktopSession::startTray() {
    tray_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{"trayer", "--edge", "top", "--align", "right",
                                                                "--height", "24", "--widthtype", "request"},
                                       machineSettings());
    // The tray is up once it owns the tray selection of screen 0.
    Display* x = XOpenDisplay(display_->name().c_str());
    if (x == nullptr) return false;
    Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
    const bool up = waitUntil([&] { return XGetSelectionOwner(x, selection) != 0; }, kPatience);
    XCloseDisplay(x);
    return up;
}

void DesktopSession::stopTray() {
    tray_.reset();
}

DesktopSession& DesktopSession::current() {
    return *instance;
}

std::map<std::string, std::string> DesktopSession::childEnvironment() const {
    return {{"XDG_RUNTIME_DIR", runtime_->path().string()},
            {"DISPLAY", display_->name()},
            {"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
            {"DBUS_SYSTEM_BUS_ADDRESS", bus_->address()},
            {"QT_QPA_PLATFORM", "xcb"}};
}

TraylessDesktop::TraylessDesktop() : windowManager_(std::make_unique<WindowManager>(display_.name())) {}

TraylessDesktop::~TraylessDesktop() = default;

std::map<std::string, std::string> TraylessDesktop::childEnvironment() const {
    auto environment = DesktopSession::current().childEnvironment();
    environment["DISPLAY"] = display_.name();
    return environment;
}

namespace {
[[maybe_unused]] auto* const desktopSession = ::testing::AddGlobalTestEnvironment(new DesktopSession);
}  // namespace

unsigned long findWindowOfClassBelow(const std::string& display, const std::string& ownerClass,
                                     const std::string& childClass) {
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) return 0;
    Window found = 0;
    Window owner = findBelow(x, DefaultRootWindow(x), [&](Window w) { return classMatches(x, w, ownerClass); });
    if (owner != 0) found = findBelow(x, owner, [&](Window w) { return classMatches(x, w, childClass); });
    XCloseDisplay(x);
    return found;
}

bool settleDesktop(const QWidget& window) {
    Display* x = XOpenDisplay(DesktopSession::current().display().c_str());
    if (x == nullptr) return false;
    const auto id = static_cast<Window>(window.winId());
    // In turn: what Qt asked of the window manager has gone out; the window manager has handled
    // it, and its own requests, sent before its answer, have reached the server; it has handled
    // what the server told it about them (a focus change); Qt has read what the server told it.
    const bool settled =
        qtCaughtUp(x, id) && windowManagerCaughtUp(x) && windowManagerCaughtUp(x) && qtCaughtUp(x, id);
    XCloseDisplay(x);
    return settled;
}

}  // namespace quillfen::test
