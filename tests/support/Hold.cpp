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

std::string ShellHold::command() const {
    const std::string letGo = (dir_.path() / "let-go").string(), gaveUp = (dir_.path() / "gave-up").string();
    const auto looks = std::to_string(kPatience / std::chrono::milliseconds(50));
    // Ends at the patience even where the file cannot be left, its folder gone with the test.
    return "n=0; until [ -e '" + letGo + "' ] || [ -e '" + gaveUp + "' ]; do if [ $n -ge " + looks +
           " ]; then touch '" + gaveUp + "'; break; fi; n=$((n + 1)); sleep 0.05; done";
}

void ShellHold::letGo() const {
    writeFile(dir_.path() / "let-go", "");
}

bool ShellHold::gaveUp() const {
    return std::filesystem::exists(dir_.path() / "gave-up");
}

}  // namespace quillfen::test
