#pragma once

#include <functional>
#include <memory>

#include "platform/Subscription.h"

namespace quillfen {

// Tells when another application comes to the front. Listeners are called on the main
// thread, once per activation.
class ApplicationActivations {
public:
    virtual ~ApplicationActivations() = default;
    virtual Subscription subscribe(std::function<void()> onActivation) = 0;
};

// The session's own signal; one that never fires where the session gives none.
std::unique_ptr<ApplicationActivations> makeApplicationActivations();

}  // namespace quillfen
