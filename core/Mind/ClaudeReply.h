#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Mind/MindDecision.h"
#include "Mind/MindError.h"

// Reading what the `claude` tool printed: its JSON envelope, and the one JSON object the model
// wrote inside it. Pure functions; nothing here touches a file or a process.
namespace quillfen::ClaudeReply {

MindResult<MindDecision> parseDecision(std::string_view output);
MindResult<std::string> parseReflectionLine(std::string_view output);

// The text of the first balanced JSON object, braces included, or nothing.
std::optional<std::string_view> firstJSONObject(std::string_view text);

// "stay-silent" for any word holding "silent", "one-nudge" for "nudge", "outside" or "surface",
// else the word lower-cased and trimmed.
std::string normalize(std::string_view decisionWord);

}  // namespace quillfen::ClaudeReply
