// The user's Claude Code settings file, as the face's install edits it: a file it cannot edit
// as Claude Code reads it is refused and stays as it is; an edited one keeps every key of the
// user's, holds the hook once and the status line, and a second install changes nothing.
#include <nlohmann/json.hpp>

#include <string>

#include "ClaudeFaceInstaller.h"
#include "FuzzSupport.h"
#include "Support/JsonText.h"

using namespace quillfen;
using Outcome = ClaudeFaceInstaller::SettingsOutcome;

namespace {

int hooksMentioning(const nlohmann::json& list) {
    int n = 0;
    for (const auto& entry : list) {
        auto text = JsonText::encode(entry);
        if (text && text->find(ClaudeFaceInstaller::kHookMarker) != std::string::npos) ++n;
    }
    return n;
}

// The member's value, or an empty object; never inserts, as a const reader must not. The key is
// looked up whole: one may hold a NUL.
nlohmann::json member(const nlohmann::json& object, const std::string& key) {
    auto it = object.find(key);
    return it == object.end() ? nlohmann::json::object() : *it;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::asText(data, size));
    const std::filesystem::path family = "/home/Ada o'Byron/.ostrel";
    const auto edited = ClaudeFaceInstaller::editedSettings(text, family);
    const auto before = JsonText::decode(text);

    if (const auto* refusal = std::get_if<Outcome>(&edited)) {
        if (*refusal == Outcome::written) fuzz::fail("a refusal that says it wrote");
        if (*refusal == Outcome::notAnObject && before && before->is_object())
            fuzz::fail("an object was refused as no object");
        if (*refusal == Outcome::hooksNotAnObject && (!before || !before->is_object() || member(*before, "hooks").is_object()))
            fuzz::fail("hooks in their shape were refused");
        return 0;
    }
    if (!before || !before->is_object()) fuzz::fail("text that is no JSON object was rewritten");

    const auto after = JsonText::decode(std::get<std::string>(edited));
    if (!after || !after->is_object()) fuzz::fail("the edited settings do not read back as an object");
    for (const auto& [key, value] : before->items()) {
        if (key == "hooks" || key == "statusLine") continue;
        auto it = after->find(key);
        if (it == after->end() || *it != value) fuzz::fail("a key of the user's changed: " + key);
    }
    const nlohmann::json hooksBefore = member(*before, "hooks"), hooksAfter = member(*after, "hooks");
    for (const auto& [key, value] : hooksBefore.items()) {
        if (key != "UserPromptSubmit" && member(hooksAfter, key) != value)
            fuzz::fail("another hook changed: " + key);
    }
    const auto previous = hooksBefore.contains("UserPromptSubmit") ? hooksBefore["UserPromptSubmit"] : nlohmann::json::array();
    const auto list = member(hooksAfter, "UserPromptSubmit");
    if (!list.is_array() || hooksMentioning(list) != std::max(1, hooksMentioning(previous)))
        fuzz::fail("the hook is not there exactly as often");
    if (member(*after, "statusLine") !=
        nlohmann::json{{"type", "command"}, {"command", ClaudeFaceInstaller::statusLineCommand(family)}})
        fuzz::fail("the status line is not ours");

    const auto again = ClaudeFaceInstaller::editedSettings(std::get<std::string>(edited), family);
    if (again != edited) fuzz::fail("a second install changed the settings");
    return 0;
}
