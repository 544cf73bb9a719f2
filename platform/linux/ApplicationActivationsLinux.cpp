#include "platform/linux/ApplicationActivationsLinux.h"

#include "Support/SystemLog.h"
#include "platform/linux/WaylandConnection.h"

namespace quillfen {

namespace {

class SilentApplicationActivations final : public ApplicationActivations {
public:
    Subscription subscribe(std::function<void()>) override { return {}; }
};

class ChosenApplicationActivations final : public ApplicationActivations {
public:
    explicit ChosenApplicationActivations(ApplicationActivationsParts parts) : parts_(std::move(parts)) {
        if (parts_.session == SessionType::wayland && parts_.wayland)
            settled_ = parts_.wayland->whenSettled([this] { choose(); });
        else
            choose();
    }

    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }

    Gap gap() const override {
        if (!chosen_) return {};
        return fallbackGap_.nativeWindowsUnseen ? fallbackGap_ : chosen_->gap();
    }

    Subscription subscribeToGap(std::function<void()> onChange) override {
        return gapListeners_.add(std::move(onChange));
    }

private:
    void choose() {
        chosen_ = parts_.session == SessionType::wayland ? wayland() : x11();
        forward_ = chosen_->subscribe([this] { listeners_.notify(); });
        forwardGap_ = chosen_->subscribeToGap([this] { gapListeners_.notify(); });
        // Until now there was nothing to say; a Wayland session is chosen only once the
        // compositor has listed what it offers, seconds into a busy login.
        if (!(gap() == Gap{})) gapListeners_.notify();
    }

    std::unique_ptr<ApplicationActivations> x11() {
        if (auto activations = makeX11ApplicationActivations(parts_.x11Display)) return activations;
        return std::make_unique<SilentApplicationActivations>();
    }

    std::unique_ptr<ApplicationActivations> wayland() {
        if (auto activations = makeForeignToplevelApplicationActivations(parts_.wayland)) return activations;
        if (auto activations = makeKWinApplicationActivations(parts_.sessionBus)) return activations;
        if (auto activations = makeGnomeShellApplicationActivations(parts_.sessionBus, x11()))
            return activations;
        fallbackGap_.nativeWindowsUnseen = true;
        SystemLog::info(
            "sensing",
            "application switches between native windows are not seen on this desktop, only those "
            "between X11 windows");
        return x11();
    }

    ApplicationActivationsParts parts_;
    Subscription settled_;
    std::unique_ptr<ApplicationActivations> chosen_;
    Subscription forward_;
    Subscription forwardGap_;
    Gap fallbackGap_;
    ListenerList<> listeners_;
    ListenerList<> gapListeners_;
};

}  // namespace

std::unique_ptr<ApplicationActivations> makeApplicationActivations(const ApplicationActivationsParts& parts) {
    return std::make_unique<ChosenApplicationActivations>(parts);
}

}  // namespace quillfen
