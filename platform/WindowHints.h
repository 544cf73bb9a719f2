#pragma once

#include <cstdint>

namespace quillfen {

// Asks the window manager to keep a window on every workspace and out of the task bar and
// the window switcher. Called on a window that exists but is not shown yet; a desktop
// without X (or a window manager that ignores the hints) changes nothing.
void keepOnEveryWorkspace(std::uint64_t nativeWindow);

}  // namespace quillfen
