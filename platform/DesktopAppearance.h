#pragma once

#include <functional>
#include <memory>

#include "platform/Subscription.h"

namespace quillfen {

// The desktop's wishes for how things look: whether animations are off, and whether it is
// dark. Until the desktop answers (or when nothing answers) motion is on and it is light.
class DesktopAppearance {
public:
    virtual ~DesktopAppearance() = default;
    virtual bool reduceMotion() const = 0;
    virtual bool prefersDark() const = 0;
    // Called on the main thread whenever either changes.
    virtual Subscription subscribe(std::function<void()> onChange) = 0;
};

// The freedesktop settings portal on the session bus (GNOME's enable-animations, KDE's
// AnimationDurationFactor, org.freedesktop.appearance reduced-motion and color-scheme), asked
// without blocking.
std::unique_ptr<DesktopAppearance> makeDesktopAppearance();

}  // namespace quillfen
