#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillfen {

// A universally unique identifier, written in its canonical 36-character form with upper-case
// hexadecimal digits ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F").
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A new random (version 4) identifier.
    static Uuid random();

    // The 8-4-4-4-12 form; hexadecimal digits of either case. Anything else gives no value.
    static std::optional<Uuid> parse(std::string_view text);

    std::string toString() const;

    auto operator<=>(const Uuid&) const = default;
};

}  // namespace quillfen
