#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QDBusConnection>

#include "platform/ApplicationActivations.h"
#include "platform/linux/SessionType.h"

namespace quillfen {

class WaylandConnection;

// Each source below reports a change of the application in front, never a title or what a
// window shows, on the main thread; each needs a running Qt event loop.

// Watches the active window that the window manager announces on the X root window. Nothing
// when no X server answers; an empty name means $DISPLAY. Under Wayland it sees only the
// windows of X11 clients.
std::unique_ptr<ApplicationActivations> makeX11ApplicationActivations(const std::string& displayName);

// wlroots compositors (sway and others): the activated state of each window in the compositor's
// list (zwlr_foreign_toplevel_manager_v1) on the application's own Wayland connection, listed.
// Nothing when the compositor does not offer the list.
std::unique_ptr<ApplicationActivations> makeForeignToplevelApplicationActivations(
    std::shared_ptr<WaylandConnection> connection);

// KDE Plasma's KWin, through a script the application has it run: the script calls the
// application's object on the session bus with each window that becomes active. Loaded at
// start, unloaded at quit. Nothing when KWin is not on the bus or does not load the script.
inline constexpr const char* kKWinScriptName = "org.quillfen.Quillfen.activations";
inline constexpr const char* kKWinActivationsPath = "/org/quillfen/Quillfen/Activations";
inline constexpr const char* kKWinActivationsInterface = "org.quillfen.Quillfen.Activations";
std::unique_ptr<ApplicationActivations> makeKWinApplicationActivations(const QDBusConnection& sessionBus);

// GNOME Shell, through the application's own shell extension, which the person turns on: it
// names the focused application on the session bus with each change of focus. Heard from the
// moment it is on, and until then `meanwhile` counts what it can, the gap naming the extension.
// Nothing where no GNOME Shell answers.
inline constexpr const char* kGnomeFocusPath = "/org/quillfen/Quillfen/Focus";
inline constexpr const char* kGnomeFocusInterface = "org.quillfen.Quillfen.Focus";
std::unique_ptr<ApplicationActivations> makeGnomeShellApplicationActivations(
    const QDBusConnection& sessionBus, std::unique_ptr<ApplicationActivations> meanwhile);
// The running shell's major version (43); nothing where no GNOME Shell answers.
std::optional<int> gnomeShellMajorVersion(const QDBusConnection& sessionBus);
// The extension for that version: the script form up to 44, the module form from 45.
std::string gnomeFocusExtension(int shellMajorVersion);

struct ApplicationActivationsParts {
    SessionType session = SessionType::x11;
    // The application's one connection to the compositor; none outside a Wayland session.
    std::shared_ptr<WaylandConnection> wayland;
    QDBusConnection sessionBus;
    // Empty means $DISPLAY.
    std::string x11Display;
};

// The session's source, chosen once at start (on Wayland once the compositor has listed what it
// offers): in a Wayland session the compositor's list of windows where offered, else KWin's
// script, else on GNOME Shell its extension, from whenever it is on; else the X11 windows alone,
// through Xwayland, a gap it says (logged once). In an X11 session the X server's active window.
std::unique_ptr<ApplicationActivations> makeApplicationActivations(const ApplicationActivationsParts& parts);

}  // namespace quillfen
