#include "AppController.h"

// The stone handed over from the web.

namespace quillfen {

void AppController::openUrls(const std::vector<std::string>& urls) {
    // Before the core is built there is no store to keep a stone in; start-up builds it first.
    if (!handoffEntry_) return;
    for (const auto& url : urls) {
        if (handoffEntry_->open(url)) refreshStoneSurfaces();
    }
}

}  // namespace quillfen
