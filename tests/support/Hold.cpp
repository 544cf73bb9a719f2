#include "support/Hold.h"

namespace quillfen::test {

bool Hold::wait(std::stop_token stop) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, stop, kPatience, [&] { return letGo_ || gaveUp_; });
    if (letGo_ || stop.stop_requested()) return true;
    // For every wait, those to come too: a build that waits for one call after another fails no
    // later than one that waits once.
    gaveUp_ = true;
    changed_.notify_all();
    return false;
}

void Hold::letGo() {
    std::lock_guard lock(mutex_);
    letGo_ = true;
    changed_.notify_all();
}

bool Hold::gaveUp() const {
    std::lock_guard lock(mutex_);
    return gaveUp_;
}

}  // namespace quillfen::test
