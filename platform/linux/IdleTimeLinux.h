#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QDBusConnection>

#include "platform/IdleTime.h"

namespace quillfen {

// GNOME's compositor over the session bus.
std::unique_ptr<IdleTime> makeMutterIdleTime(const QDBusConnection& sessionBus);

// The X server's screen-saver extension; an empty name means $DISPLAY.
std::unique_ptr<IdleTime> makeX11IdleTime(const std::string& displayName);

// Asks each source in turn and takes the first answer.
std::unique_ptr<IdleTime> makeFirstAnsweringIdleTime(std::vector<std::unique_ptr<IdleTime>> sources);

}  // namespace quillfen
