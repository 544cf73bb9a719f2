#pragma once

#include <vector>

#include "platform/LocationManager.h"

namespace quillfen::test {

// A location service whose answers the test gives by calling the delegate itself; it
// counts what was asked of it.
class FakeLocationManager final : public LocationManager {
public:
    LocationAuthorization status = LocationAuthorization::notDetermined;
    int authorizationRequests = 0;
    int locationRequests = 0;
    LocationManagerDelegate* delegate = nullptr;

    void setDelegate(LocationManagerDelegate* d) override { delegate = d; }
    LocationAuthorization authorizationStatus() const override { return status; }
    bool serviceAvailable() const override { return true; }
    void requestWhenInUseAuthorization() override { ++authorizationRequests; }
    void requestLocation() override { ++locationRequests; }

    // The system settles the question: the status changes and the delegate hears of it.
    void answer(LocationAuthorization newStatus) {
        status = newStatus;
        if (delegate != nullptr) delegate->authorizationChanged(newStatus);
    }
};

}  // namespace quillfen::test
