#include "Contract/SeamEncoder.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace quillfen::SeamEncoder {

namespace {

void writeString(const std::string& text, std::string& out) {
    out += '"';
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '/':
                out += "\\/";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

bool writeDouble(double d, std::string& out) {
    if (!std::isfinite(d)) return false;
    char buffer[64];
    // Beyond 2^53 not every whole number is a double any more; those keep the exponent form.
    if (std::trunc(d) == d && std::fabs(d) < 9007199254740992.0) {
        std::snprintf(buffer, sizeof buffer, "%.0f", d);
        out += buffer;
        return true;
    }
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    if (ec != std::errc()) return false;
    out.append(buffer, end);
    return true;
}

bool write(const nlohmann::json& value, std::string& out) {
    switch (value.type()) {
        case nlohmann::json::value_t::null:
            out += "null";
            return true;
        case nlohmann::json::value_t::boolean:
            out += value.get<bool>() ? "true" : "false";
            return true;
        case nlohmann::json::value_t::number_integer:
            out += std::to_string(value.get<std::int64_t>());
            return true;
        case nlohmann::json::value_t::number_unsigned:
            out += std::to_string(value.get<std::uint64_t>());
            return true;
        case nlohmann::json::value_t::number_float:
            return writeDouble(value.get<double>(), out);
        case nlohmann::json::value_t::string:
            writeString(value.get_ref<const std::string&>(), out);
            return true;
        case nlohmann::json::value_t::array: {
            out += '[';
            bool first = true;
            for (const auto& element : value) {
                if (!first) out += ',';
                first = false;
                if (!write(element, out)) return false;
            }
            out += ']';
            return true;
        }
        case nlohmann::json::value_t::object: {
            // The object's map already keeps its keys in byte order.
            out += '{';
            bool first = true;
            for (const auto& [key, element] : value.items()) {
                if (!first) out += ',';
                first = false;
                writeString(key, out);
                out += ':';
                if (!write(element, out)) return false;
            }
            out += '}';
            return true;
        }
        case nlohmann::json::value_t::binary:
        case nlohmann::json::value_t::discarded:
            return false;
    }
    return false;
}

}  // namespace

std::optional<std::string> encode(const nlohmann::json& value) {
    std::string out;
    if (!write(value, out)) return std::nullopt;
    return out;
}

}  // namespace quillfen::SeamEncoder
