#pragma once

#include <map>
#include <string>

namespace quillfen {

enum class SessionType { x11, wayland };

// What the session is, read once at start: XDG_SESSION_TYPE where it says "x11" or "wayland";
// where it says neither (a text console, a session manager that sets none), a WAYLAND_DISPLAY
// makes it a Wayland session.
inline SessionType sessionTypeOf(const std::map<std::string, std::string>& environment) {
    const auto value = [&](const char* name) {
        auto found = environment.find(name);
        return found == environment.end() ? std::string() : found->second;
    };
    const std::string type = value("XDG_SESSION_TYPE");
    if (type == "x11") return SessionType::x11;
    if (type == "wayland" || !value("WAYLAND_DISPLAY").empty()) return SessionType::wayland;
    return SessionType::x11;
}

}  // namespace quillfen
