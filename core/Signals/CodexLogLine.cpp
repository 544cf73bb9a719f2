#include "Signals/CodexLogLine.h"

#include "Support/JsonScanner.h"

namespace quillfen {

namespace {

// A captured field: the string when the value is one, nothing otherwise.
bool capture(JsonScanner& s, std::optional<std::string>& field) {
    if (s.peek() == '"') {
        field.emplace();
        return s.string(*field);
    }
    field.reset();
    return s.skipValue();
}

}  // namespace

std::optional<CodexLogLine> parseCodexLogLine(std::string_view text) {
    JsonScanner s(text);
    CodexLogLine line;
    s.ws();
    if (s.atEnd() || s.peek() != '{') return std::nullopt;
    bool ok = s.object([&](std::string_view key) {
        if (key == "timestamp") return capture(s, line.timestamp);
        if (key == "type") return capture(s, line.type);
        if (key != "payload") return s.skipValue();
        line.payloadIsObject = false;
        line.payloadType.reset();
        line.cwd.reset();
        line.id.reset();
        line.role.reset();
        line.name.reset();
        line.callId.reset();
        if (s.peek() != '{') return s.skipValue();
        line.payloadIsObject = true;
        return s.object([&](std::string_view inner) {
            if (inner == "type") return capture(s, line.payloadType);
            if (inner == "cwd") return capture(s, line.cwd);
            if (inner == "id") return capture(s, line.id);
            if (inner == "role") return capture(s, line.role);
            if (inner == "name") return capture(s, line.name);
            if (inner == "call_id") return capture(s, line.callId);
            return s.skipValue();
        });
    });
    if (!ok) return std::nullopt;
    s.ws();
    if (!s.atEnd()) return std::nullopt;
    return line;
}

}  // namespace quillfen
