#pragma once

// Strict readers for decoding records from JSON. Include only from .cpp files.
// Each throws JsonFields::Invalid when a value is missing or of the wrong type;
// decoders catch it at their edge and report no value.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "Support/Clock.h"
#include "Support/Iso8601.h"

namespace quillfen::JsonFields {

struct Invalid : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline const nlohmann::json& field(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) throw Invalid("not an object");
    auto it = object.find(key);
    if (it == object.end()) throw Invalid(std::string("missing ") + key);
    return *it;
}

// An optional field: a missing key and a null both give no value.
inline const nlohmann::json* optionalField(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) throw Invalid("not an object");
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

inline double asDouble(const nlohmann::json& value) {
    if (!value.is_number()) throw Invalid("not a number");
    return value.get<double>();
}

// Whole numbers; a float is accepted only when it is exactly a whole number in range.
inline std::int64_t asInt64(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            throw Invalid("integer out of range");
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) {
            return static_cast<std::int64_t>(d);
        }
    }
    throw Invalid("not a whole number");
}

inline int asInt(const nlohmann::json& value) {
    std::int64_t v = asInt64(value);
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw Invalid("out of range");
    return static_cast<int>(v);
}

inline bool asBool(const nlohmann::json& value) {
    if (!value.is_boolean()) throw Invalid("not a Boolean");
    return value.get<bool>();
}

inline std::string asString(const nlohmann::json& value) {
    if (!value.is_string()) throw Invalid("not a string");
    return value.get<std::string>();
}

inline TimePoint asIsoDate(const nlohmann::json& value) {
    auto parsed = Iso8601::parse(asString(value));
    if (!parsed) throw Invalid("not an ISO 8601 date");
    return *parsed;
}

inline TimePoint asReferenceDate(const nlohmann::json& value) {
    auto parsed = ReferenceDate::fromSecondsSince2001(asDouble(value));
    if (!parsed) throw Invalid("date out of range");
    return *parsed;
}

// An enumeration read from its raw string through a `...From(string_view)` function.
template <typename Parse>
auto asEnum(const nlohmann::json& value, Parse parse) {
    auto parsed = parse(asString(value));
    if (!parsed) throw Invalid("unknown raw value");
    return *parsed;
}

// For nlohmann's from_json of an enumeration: its raw string, or nlohmann's own type error.
template <typename Enum, typename Parse>
void readRawValue(const nlohmann::json& value, Enum& out, Parse parse) {
    auto parsed = value.is_string() ? parse(value.get_ref<const std::string&>()) : std::nullopt;
    if (!parsed) throw nlohmann::json::type_error::create(302, "unknown raw value", &value);
    out = *parsed;
}

}  // namespace quillfen::JsonFields
