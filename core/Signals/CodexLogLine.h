#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillfen {

// The few fields of one Codex session line that the reader looks at. Each is present only when
// the line holds it as a string (the payload's fields only when "payload" is an object); when a
// key repeats, the last one counts.
struct CodexLogLine {
    std::optional<std::string> timestamp;
    std::optional<std::string> type;
    bool payloadIsObject = false;
    std::optional<std::string> payloadType;
    std::optional<std::string> cwd;
    std::optional<std::string> id;
    std::optional<std::string> role;
    std::optional<std::string> name;
    std::optional<std::string> callId;
    bool operator==(const CodexLogLine&) const = default;
};

// Reads one line that must be exactly one JSON object, checked as strictly as a full parser would
// (a truncated line, a stray byte or a lone surrogate gives none), without building a document:
// a log line can carry megabytes of tool output that nobody here looks at. The text must already
// be valid UTF-8.
std::optional<CodexLogLine> parseCodexLogLine(std::string_view line);

}  // namespace quillfen
