#pragma once

#include <cstdint>
#include <string>

namespace quillfen {

// Asks the window manager to keep a window on every workspace and out of the task bar and
// the window switcher. Called on a window that exists but is not shown yet; a desktop
// without X (or a window manager that ignores the hints) changes nothing.
void keepOnEveryWorkspace(std::uint64_t nativeWindow);

// Names the application's object on the session bus on a window, as a GTK application's windows
// name theirs: the unique name of its connection and the object's path. GNOME Shell looks there for
// the application's actions (its own Quit runs "quit"). Called on a window that exists but is not
// shown yet; a desktop without X changes nothing.
void nameApplicationObject(std::uint64_t nativeWindow, const std::string& uniqueBusName,
                           const std::string& objectPath);

}  // namespace quillfen
