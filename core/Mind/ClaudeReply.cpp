#include "Mind/ClaudeReply.h"

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen::ClaudeReply {

namespace {

// The model's answer: the envelope's "result" text, or the whole output when there is no envelope.
MindResult<std::string> answerText(std::string_view output) {
    auto envelope = JsonText::decode(output);
    if (envelope && envelope->is_object()) {
        auto result = envelope->find("result");
        if (result != envelope->end() && result->is_string()) {
            const auto& text = result->get_ref<const std::string&>();
            auto isError = envelope->find("is_error");
            if (isError != envelope->end() && isError->is_boolean() && isError->get<bool>()) {
                return MindError::transport("claude: " + UnicodeText::prefix(text, 120));
            }
            return text;
        }
    }
    return UnicodeText::repairedUtf8(output);
}

std::optional<nlohmann::json> firstObject(std::string_view answer) {
    auto text = firstJSONObject(answer);
    if (!text) return std::nullopt;
    auto parsed = JsonText::decode(*text);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    return parsed;
}

const std::string* textMember(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

}  // namespace

std::optional<std::string_view> firstJSONObject(std::string_view text) {
    const auto start = text.find('{');
    if (start == std::string_view::npos) return std::nullopt;
    int depth = 0;
    bool inString = false, escaped = false;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return text.substr(start, i - start + 1);
        }
    }
    return std::nullopt;
}

std::string normalize(std::string_view decisionWord) {
    std::string word = Text::trimmed(UnicodeText::lowercased(decisionWord));
    if (word.find("silent") != std::string::npos) return "stay-silent";
    for (const char* nudge : {"nudge", "outside", "surface"}) {
        if (word.find(nudge) != std::string::npos) return "one-nudge";
    }
    return word;
}

MindResult<MindDecision> parseDecision(std::string_view output) {
    auto answer = answerText(output);
    if (auto* error = std::get_if<MindError>(&answer)) return *error;
    const auto& text = std::get<std::string>(answer);
    const auto object = firstObject(text);
    const std::string* decision = object ? textMember(*object, "decision") : nullptr;
    if (!decision) return MindError::unparseable(UnicodeText::prefix(text, 200));

    std::string why;
    if (const auto* reasoning = textMember(*object, "reasoning")) {
        why = *reasoning;
    } else if (const auto* because = textMember(*object, "why")) {
        why = *because;
    }

    const std::string word = normalize(*decision);
    if (word == "stay-silent") return MindDecision::staySilent(why);
    if (word == "one-nudge") {
        const auto* line = textMember(*object, "line");
        if (line && !line->empty()) return MindDecision::oneNudge(*line, why);
        return MindDecision::staySilent("one-nudge returned no line");
    }
    return MindError::unparseable("unknown decision: " + *decision);
}

MindResult<std::string> parseReflectionLine(std::string_view output) {
    auto answer = answerText(output);
    if (auto* error = std::get_if<MindError>(&answer)) return *error;
    const auto& text = std::get<std::string>(answer);
    if (const auto object = firstObject(text)) {
        if (const auto* line = textMember(*object, "line")) {
            std::string trimmed = Text::trimmed(*line);
            if (!trimmed.empty()) return trimmed;
        }
    }
    return MindError::unparseable(UnicodeText::prefix(text, 200));
}

}  // namespace quillfen::ClaudeReply
