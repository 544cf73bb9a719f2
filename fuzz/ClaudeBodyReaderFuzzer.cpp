// Claude Code session logs in two projects, and a Codex log beside them (split at 0x1E), as the
// tools, a crash or a full disk left them: the body of the week is read.
#include "FuzzSupport.h"
#include "Signals/ClaudeBodyReader.h"
#include "Support/Paths.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto projects = fuzz::scratch() / "claude-projects";
    const auto codex = Paths::home() / ".codex" / "sessions";
    fuzz::removeAll(projects);
    fuzz::removeAll(codex);
    const auto parts = fuzz::pieces(fuzz::asText(data, size), 3);
    const TimePoint modified = addSeconds(fuzz::fixedNow(), -60);
    if (parts.size() > 0) fuzz::writeFile(projects / "-home-me-alpha" / "one.jsonl", parts[0], modified);
    if (parts.size() > 1) fuzz::writeFile(projects / "-home-me-beta" / "two.jsonl", parts[1], modified);
    if (parts.size() > 2) fuzz::writeFile(codex / "2026" / "01" / "05" / "rollout.jsonl", parts[2], modified);
    (void)ClaudeBodyReader::read(fuzz::fixedNow(), 7, projects);
    return 0;
}
