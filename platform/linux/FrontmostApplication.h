#pragma once

#include <string>
#include <utility>

namespace quillfen {

// The application in front, as one source of the desktop names it. A switch is a change of
// application: moving between two windows of one application is none, and neither is a
// moment with nothing in front (the desktop, a closing window), named by an empty name.
class FrontmostApplication {
public:
    // What was in front when the source started watching; its coming is no switch.
    void startWith(std::string application) { current_ = std::move(application); }

    // Whether `application` coming to the front is a switch.
    bool switchesTo(std::string application) {
        if (application.empty() || application == current_) return false;
        current_ = std::move(application);
        return true;
    }

private:
    std::string current_;
};

}  // namespace quillfen
