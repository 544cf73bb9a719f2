#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Support/Clock.h"

namespace quillfen {

// The user's choices, kept between runs under plain keys ("interruptBoundary",
// "calendarBreaksEnabled", ...). A value stored with another type than the one asked for
// reads as absent. Used from the main thread.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    virtual std::optional<std::string> string(std::string_view key) const = 0;
    virtual std::optional<bool> boolean(std::string_view key) const = 0;
    virtual std::optional<std::int64_t> integer(std::string_view key) const = 0;

    virtual void setString(std::string_view key, std::string_view value) = 0;
    virtual void setBoolean(std::string_view key, bool value) = 0;
    virtual void setInteger(std::string_view key, std::int64_t value) = 0;
    virtual void remove(std::string_view key) = 0;
};

// The user's settings file: $XDG_CONFIG_HOME/org.quillfen.Quillfen/Quillfen.conf.
std::filesystem::path userDefaultsFile();

// The user's settings, read once from their file and written whole as values change. `now` dates
// what is kept aside and what is cleaned up.
std::unique_ptr<UserDefaults> makeUserDefaults(Clock now = systemClock());

}  // namespace quillfen
