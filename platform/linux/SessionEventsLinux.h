#pragma once

#include <memory>

#include <QDBusConnection>
#include <QString>

#include "platform/SessionEvents.h"

namespace quillfen {

// The login manager on `systemBus` (sleep, and the lock of session `sessionId`, or of the
// caller's own session when that is empty or unknown) and the screen saver on
// `sessionBus`. Needs a running Qt event loop.
std::unique_ptr<SessionEvents> makeSessionEvents(const QDBusConnection& systemBus,
                                                 const QDBusConnection& sessionBus, const QString& sessionId);

}  // namespace quillfen
