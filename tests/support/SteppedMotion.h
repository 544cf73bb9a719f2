#pragma once

#include "UI/AnimationDriver.h"

namespace quillfen::test {

// An animation driver on a clock the test steps by hand.
struct SteppedMotion {
    double seconds = 0;
    AnimationDriver driver{[this] { return seconds; }};

    // Moves the clock on and lets everything due run.
    void advance(double by) {
        seconds += by;
        driver.advance();
    }
};

}  // namespace quillfen::test
