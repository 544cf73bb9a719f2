#include "LocationProvider.h"

#include <utility>

namespace quillfen {

LocationProvider::LocationProvider(std::unique_ptr<LocationManager> manager) : manager_(std::move(manager)) {
    manager_->setDelegate(this);
}

LocationProvider::~LocationProvider() {
    manager_->setDelegate(nullptr);
}

void LocationProvider::authorizationChanged(LocationAuthorization status) {
    bool authorized = status == LocationAuthorization::authorized;
    if (authorized) manager_->requestLocation();
    if (status == LocationAuthorization::notDetermined) return;
    // Taken out before the call, so an answer that asks again starts from a clean slate.
    if (auto answer = std::exchange(grantAnswer, nullptr)) answer(authorized);
}

void LocationProvider::locationsUpdated(const std::vector<CoarseLocation>& locations) {
    if (!locations.empty()) lastFix_ = locations.back();
}

// A failed request keeps the fix there is: an older location still serves the sky check.
void LocationProvider::locationFailed() {}

}  // namespace quillfen
