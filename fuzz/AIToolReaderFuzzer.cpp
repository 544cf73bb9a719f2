// Today's Claude Code session logs in two projects (split at 0x1E), as the tool, a crash or a
// full disk left them; and any text as one of the agents' times.
#include "FuzzSupport.h"
#include "Signals/AIToolReader.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    (void)AIToolReader::isoFrac(text);
    (void)AIToolReader::isoPlain(text);

    const auto projects = fuzz::scratch() / "claude-projects";
    fuzz::removeAll(projects);
    const auto parts = fuzz::pieces(text, 2);
    const TimePoint modified = addSeconds(fuzz::fixedNow(), -60);
    fuzz::writeFile(projects / "-home-me-alpha" / "one.jsonl", parts[0], modified);
    if (parts.size() > 1) fuzz::writeFile(projects / "-home-me-beta" / "two.jsonl", parts[1], modified);
    (void)AIToolReader::read(fuzz::fixedNow(), projects);
    return 0;
}
