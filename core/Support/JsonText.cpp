#include "Support/JsonText.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace quillfen::JsonText {

namespace {

template <typename Json>
bool nonFinite(const Json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::number_float:
            return !std::isfinite(value.template get<double>());
        case nlohmann::json::value_t::array:
        case nlohmann::json::value_t::object:
            for (const auto& item : value) {
                if (nonFinite(item)) return true;
            }
            return false;
        default:
            return false;
    }
}

template <typename Json>
std::optional<std::string> encodeImpl(const Json& value) {
    if (nonFinite(value)) return std::nullopt;
    try {
        return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> encode(const nlohmann::json& value) {
    return encodeImpl(value);
}
std::optional<std::string> encode(const nlohmann::ordered_json& value) {
    return encodeImpl(value);
}

bool hasNonFiniteNumber(const nlohmann::json& value) {
    return nonFinite(value);
}
bool hasNonFiniteNumber(const nlohmann::ordered_json& value) {
    return nonFinite(value);
}

std::optional<nlohmann::json> decode(std::string_view text) {
    auto parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

}  // namespace quillfen::JsonText
