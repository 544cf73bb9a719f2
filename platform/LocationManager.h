#pragma once

#include <memory>
#include <vector>

#include "Sky/CoarseLocation.h"
#include "Sky/LocationAuthorization.h"

namespace quillfen {

// Called on the main thread.
class LocationManagerDelegate {
public:
    virtual ~LocationManagerDelegate() = default;
    virtual void authorizationChanged(LocationAuthorization status) = 0;
    virtual void locationsUpdated(const std::vector<CoarseLocation>& locations) = 0;
    virtual void locationFailed() = 0;
};

// The platform's location service at city accuracy, giving one location per request.
class LocationManager {
public:
    virtual ~LocationManager() = default;
    // The delegate must outlive the manager or be replaced by nullptr first.
    virtual void setDelegate(LocationManagerDelegate* delegate) = 0;
    virtual LocationAuthorization authorizationStatus() const = 0;
    // Whether a location service is there to ask: one runs, or can be started on the first call.
    virtual bool serviceAvailable() const = 0;
    // The answer comes as an authorisation change.
    virtual void requestWhenInUseAuthorization() = 0;
    // One location, delivered as an update, or a failure.
    virtual void requestLocation() = 0;
};

std::unique_ptr<LocationManager> makeLocationManager();

}  // namespace quillfen
