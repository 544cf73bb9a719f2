#pragma once

#include <memory>

#include <QDBusConnection>

#include "platform/LocationManager.h"

namespace quillfen {

// GeoClue on `systemBus`, asked for city accuracy. Needs a running Qt event loop.
std::unique_ptr<LocationManager> makeGeoClueLocationManager(const QDBusConnection& systemBus);

}  // namespace quillfen
