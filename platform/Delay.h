#pragma once

#include <functional>

#include "platform/Subscription.h"

namespace quillfen {

// Runs `step` once, `seconds` from now, unless the subscription it gives goes first. The
// application passes its scheduler; a test, one that it moves on by hand.
using Delay = std::function<Subscription(double seconds, std::function<void()> step)>;

}  // namespace quillfen
