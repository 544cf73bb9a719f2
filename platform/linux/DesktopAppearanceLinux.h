#pragma once

#include <QDBusConnection>
#include <memory>

#include "platform/DesktopAppearance.h"

namespace quillfen {

// The freedesktop settings portal on `sessionBus`, asked without blocking and followed through
// its SettingChanged. Less motion is asked of it three ways, each desktop's own: GNOME's
// org.gnome.desktop.interface enable-animations, KDE's org.kde.kdeglobals.KDE
// AnimationDurationFactor (0 is instant) and the portal's own org.freedesktop.appearance
// reduced-motion. Each keeps its last answer, and motion is reduced while any of them asks so; a
// key the portal does not know is no answer.
std::unique_ptr<DesktopAppearance> makePortalAppearance(const QDBusConnection& sessionBus);

}  // namespace quillfen
