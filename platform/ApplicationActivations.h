#pragma once

#include <functional>
#include <string>

#include "platform/Subscription.h"

namespace quillfen {

// Tells when another application comes to the front. Listeners are called on the main
// thread, once per activation.
class ApplicationActivations {
public:
    // The switches the desktop does not show, for the person to know.
    struct Gap {
        // Switches between native Wayland windows are not seen: only those between X11 windows are, or none.
        bool nativeWindowsUnseen = false;
        // On GNOME, the application's own shell extension that would show them, to be turned on.
        std::string extensionToTurnOn;
        bool operator==(const Gap&) const = default;
    };

    virtual ~ApplicationActivations() = default;
    virtual Subscription subscribe(std::function<void()> onActivation) = 0;
    // Nothing while every switch is seen.
    virtual Gap gap() const { return {}; }
    // Called on the main thread when what `gap` says changes (the source chosen, an extension
    // turned on or off), so that what the person reads changes with it.
    virtual Subscription subscribeToGap(std::function<void()> onChange) {
        (void)onChange;
        return {};
    }
};

}  // namespace quillfen
