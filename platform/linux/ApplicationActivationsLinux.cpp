#include "platform/linux/ApplicationActivationsLinux.h"

namespace quillfen {

namespace {

class SilentApplicationActivations final : public ApplicationActivations {
public:
    Subscription subscribe(std::function<void()>) override { return {}; }
};

}  // namespace

std::unique_ptr<ApplicationActivations> makeSilentApplicationActivations() {
    return std::make_unique<SilentApplicationActivations>();
}

std::unique_ptr<ApplicationActivations> makeApplicationActivations() {
    if (auto activations = makeX11ApplicationActivations({})) return activations;
    return makeSilentApplicationActivations();
}

}  // namespace quillfen
