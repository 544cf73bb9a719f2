#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace quillfen {

// One table of (case, raw value) pairs serves both directions of an enumeration's raw form.
template <typename Enum>
using EnumName = std::pair<Enum, std::string_view>;

template <typename Enum, std::size_t N>
constexpr std::optional<Enum> enumFromName(std::string_view raw, const EnumName<Enum> (&table)[N]) {
    for (const auto& [value, name] : table) {
        if (name == raw) return value;
    }
    return std::nullopt;
}

template <typename Enum, std::size_t N>
constexpr std::string_view enumName(Enum value, const EnumName<Enum> (&table)[N]) {
    for (const auto& [v, name] : table) {
        if (v == value) return name;
    }
    return {};
}

}  // namespace quillfen
