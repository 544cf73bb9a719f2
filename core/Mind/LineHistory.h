#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace quillfen {

// What the line templates remember between asks, so the next ask neither repeats the template
// nor the very line shown last.
struct LineHistory {
    std::optional<std::string> lastTemplateId;
    std::optional<std::string> lastRenderedLine;

    static LineHistory empty() { return {}; }
    bool operator==(const LineHistory&) const = default;
};

// {"lastTemplateId": ..., "lastRenderedLine": ...}, an absent value's key left out. Reading
// takes a missing key (or a null) as absent and refuses anything but an object whose two keys,
// where present, hold texts: from_json throws nlohmann::json::exception, the other gives no value.
void to_json(nlohmann::json&, const LineHistory&);
void from_json(const nlohmann::json&, LineHistory&);
std::optional<LineHistory> lineHistoryFromJson(const nlohmann::json&);

}  // namespace quillfen
