#pragma once

#include <optional>
#include <string>
#include <string_view>

// The two scripts of the Claude Code face, as they travel inside the application.
namespace quillfen::ClaudeFaceScripts {

// The script's text by its name ("prompt-cadence-hook", "statusline-mirror"), whole as it is
// installed; nothing for a name the application does not carry.
std::optional<std::string> bundled(std::string_view name);

}  // namespace quillfen::ClaudeFaceScripts
