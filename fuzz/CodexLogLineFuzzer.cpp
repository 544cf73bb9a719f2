// One line of a Codex session log: the scanner that reads it without building a document must
// accept exactly what a full JSON parser accepts as one object, and find the same fields.
#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "Signals/AgentLogFiles.h"
#include "Signals/CodexLogLine.h"

using namespace quillfen;

namespace {

std::optional<std::string> textOf(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

CodexLogLine expectedFrom(const nlohmann::json& object) {
    CodexLogLine line;
    line.timestamp = textOf(object, "timestamp");
    line.type = textOf(object, "type");
    auto payload = object.find("payload");
    if (payload != object.end() && payload->is_object()) {
        line.payloadIsObject = true;
        line.payloadType = textOf(*payload, "type");
        line.cwd = textOf(*payload, "cwd");
        line.id = textOf(*payload, "id");
        line.role = textOf(*payload, "role");
        line.name = textOf(*payload, "name");
        line.callId = textOf(*payload, "call_id");
    }
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(fuzz::asText(data, size));
    // The reader hands the scanner valid UTF-8 only: a whole file that checks, or a repaired tail.
    if (!AgentLogFiles::isValidUtf8(text)) text = AgentLogFiles::lossyUtf8(std::move(text));

    const auto line = parseCodexLogLine(text);
    // The full parser stops at a NUL byte outside a string as if the text ended there, where
    // the scanner rightly refuses the line; such lines are not compared.
    if (text.find('\0') != std::string::npos) return 0;
    const auto full = nlohmann::json::parse(text, nullptr, false);
    const bool fullReadsAnObject = !full.is_discarded() && full.is_object();
    if (line.has_value() != fullReadsAnObject) fuzz::fail("the scanner and the full parser disagree");
    if (line && !(*line == expectedFrom(full))) fuzz::fail("the scanner found other fields");
    return 0;
}
