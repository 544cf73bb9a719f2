// Codex session logs as the agent, a crash or a full disk left them: up to three files (split
// at 0x1E), read for events and for the running-task snapshot.
#include "FuzzSupport.h"
#include "Signals/CodexActivityReader.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = fuzz::scratch() / "codex-sessions";
    fuzz::removeAll(folder);
    int index = 0;
    for (std::string_view piece : fuzz::pieces(fuzz::asText(data, size), 3)) {
        const auto file = folder / "2026" / "01" / "05" / ("rollout-" + std::to_string(index++) + ".jsonl");
        fuzz::writeFile(file, piece, addSeconds(fuzz::fixedNow(), -60.0 * index));
    }
    (void)CodexActivityReader::readEvents(fuzz::fixedNow(), 7, folder);
    (void)CodexActivityReader::readSnapshot(fuzz::fixedNow(), folder, 900);
    return 0;
}
