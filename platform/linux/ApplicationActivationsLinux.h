#pragma once

#include <memory>
#include <string>

#include "platform/ApplicationActivations.h"

namespace quillfen {

// Watches the active window that the window manager announces on the X root window and
// reports a change of the application behind it. Nothing when no X server answers; an
// empty name means $DISPLAY. Needs a running Qt event loop.
std::unique_ptr<ApplicationActivations> makeX11ApplicationActivations(const std::string& displayName);

// For sessions that give no such signal.
std::unique_ptr<ApplicationActivations> makeSilentApplicationActivations();

}  // namespace quillfen
