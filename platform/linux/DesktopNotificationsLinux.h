#pragma once

#include <memory>

#include <QDBusConnection>

#include "platform/DesktopNotifications.h"

namespace quillfen {

// The notification service on `bus`. Needs a running Qt event loop.
std::unique_ptr<DesktopNotifications> makeDesktopNotifications(const QDBusConnection& bus);

}  // namespace quillfen
