#include <string>

#include <QObject>
#include <QSocketNotifier>

#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/FrontmostApplication.h"
#include "platform/linux/X11Connection.h"

// X11 defines macros (None, Status, Bool, ...) that break other headers: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace quillfen {

namespace {

class X11ApplicationActivations final : public ApplicationActivations {
public:
    explicit X11ApplicationActivations(std::unique_ptr<X11Connection> connection)
        : connection_(std::move(connection)) {
        Display* display = connection_->display();
        root_ = DefaultRootWindow(display);
        activeWindowAtom_ = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
        XSelectInput(display, root_, PropertyChangeMask);
        frontmost_.startWith(activeApplication());
        XFlush(display);
        notifier_ = std::make_unique<QSocketNotifier>(connection_->fileDescriptor(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { drain(); });
    }

    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }

private:
    // Xlib may already have read events into its queue while answering another request, so
    // the queue is emptied whole, not one event per wake-up.
    void drain() {
        Display* display = connection_->display();
        while (!connection_->lost() && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == PropertyNotify && event.xproperty.window == root_ &&
                event.xproperty.atom == activeWindowAtom_) {
                activeWindowChanged();
            }
        }
        if (connection_->lost()) notifier_->setEnabled(false);
    }

    void activeWindowChanged() {
        if (frontmost_.switchesTo(activeApplication())) listeners_.notify();
    }

    // Empty when no window is active.
    std::string activeApplication() {
        Window window = activeWindow();
        if (window == None) return {};
        XClassHint hint{};
        std::string name;
        if (XGetClassHint(connection_->display(), window, &hint) != 0) {
            if (hint.res_class != nullptr) name = hint.res_class;
            if (hint.res_name != nullptr) XFree(hint.res_name);
            if (hint.res_class != nullptr) XFree(hint.res_class);
        }
        if (name.empty()) return "window:" + std::to_string(window);
        return name;
    }

    Window activeWindow() {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        int status = XGetWindowProperty(connection_->display(), root_, activeWindowAtom_, 0, 1, False,
                                        XA_WINDOW, &type, &format, &count, &remaining, &data);
        Window window = None;
        if (status == Success && type == XA_WINDOW && format == 32 && count == 1 && data != nullptr) {
            // Format-32 properties come back as longs, whatever the width of a long.
            window = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
        }
        if (data != nullptr) XFree(data);
        return window;
    }

    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<QSocketNotifier> notifier_;
    Window root_ = None;
    Atom activeWindowAtom_ = None;
    FrontmostApplication frontmost_;
    ListenerList<> listeners_;
};

}  // namespace

std::unique_ptr<ApplicationActivations> makeX11ApplicationActivations(const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return nullptr;
    return std::make_unique<X11ApplicationActivations>(std::move(connection));
}

}  // namespace quillfen
