#include <optional>

#include "platform/linux/IdleTimeLinux.h"
#include "platform/linux/X11Connection.h"

// X11 defines macros (None, Status, Bool, ...) that break other headers: it comes last.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace quillfen {

namespace {

class X11IdleTime final : public IdleSource {
public:
    explicit X11IdleTime(std::string displayName) : displayName_(std::move(displayName)) {
        answered(connect() ? Answer::answers : Answer::silent);
    }

    std::string name() const override { return "the X server's screen saver"; }

    ~X11IdleTime() override {
        if (info_ != nullptr) XFree(info_);
    }

    std::optional<double> secondsSinceLastInput() override {
        if (!connect()) return std::nullopt;
        Display* display = connection_->display();
        if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info_) == 0 || connection_->lost()) {
            return std::nullopt;
        }
        return static_cast<double>(info_->idle) / 1000.0;
    }

private:
    // The server may come up after this process (or come back after a restart), so a
    // missing or lost connection is tried again on the next read.
    bool connect() {
        if (connection_ && connection_->lost()) {
            connection_.reset();
            hasExtension_.reset();
        }
        if (!connection_) connection_ = X11Connection::open(displayName_);
        if (!connection_) return false;
        if (!hasExtension_) {
            int eventBase = 0;
            int errorBase = 0;
            hasExtension_ = XScreenSaverQueryExtension(connection_->display(), &eventBase, &errorBase) != 0;
        }
        if (*hasExtension_ && info_ == nullptr) info_ = XScreenSaverAllocInfo();
        return *hasExtension_ && info_ != nullptr;
    }

    std::string displayName_;
    std::unique_ptr<X11Connection> connection_;
    std::optional<bool> hasExtension_;
    XScreenSaverInfo* info_ = nullptr;
};

}  // namespace

std::unique_ptr<IdleSource> makeX11IdleTime(const std::string& displayName) {
    return std::make_unique<X11IdleTime>(displayName);
}

}  // namespace quillfen
