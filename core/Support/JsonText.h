#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace quillfen::JsonText {

// JSON text of a value, or nothing when the value holds a number that is not finite:
// such a number is an encoding failure, never written as null.
std::optional<std::string> encode(const nlohmann::json& value);
std::optional<std::string> encode(const nlohmann::ordered_json& value);

bool hasNonFiniteNumber(const nlohmann::json& value);
bool hasNonFiniteNumber(const nlohmann::ordered_json& value);

// Parses JSON text; invalid JSON (or invalid UTF-8 in a string) gives no value, never throws.
std::optional<nlohmann::json> decode(std::string_view text);

}  // namespace quillfen::JsonText
