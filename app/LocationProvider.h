#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Sky/CoarseLocation.h"
#include "platform/LocationManager.h"

namespace quillfen {

// Keeps the newest coarse location of the machine for the sky check. The controller
// reaches the manager directly to read and request authorisation and to request a
// location. Used on the main thread only.
class LocationProvider final : public LocationManagerDelegate {
public:
    explicit LocationProvider(std::unique_ptr<LocationManager> manager);
    ~LocationProvider() override;
    LocationProvider(const LocationProvider&) = delete;
    LocationProvider& operator=(const LocationProvider&) = delete;

    LocationManager& manager() { return *manager_; }
    const std::optional<CoarseLocation>& lastFix() const { return lastFix_; }

    // A pending answer for whoever asked for the location grant; called once, with whether
    // it was granted, at the next authorisation change that settles the question.
    std::function<void(bool)> grantAnswer;

    void authorizationChanged(LocationAuthorization status) override;
    void locationsUpdated(const std::vector<CoarseLocation>& locations) override;
    void locationFailed() override;

private:
    std::unique_ptr<LocationManager> manager_;
    std::optional<CoarseLocation> lastFix_;
};

}  // namespace quillfen
