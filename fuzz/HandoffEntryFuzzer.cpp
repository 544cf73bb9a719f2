// Handoff addresses as the running copy takes them, several in a row, into a stone store in
// memory: each address gives one "stone" line; only a line that says a stone was kept leaves
// a different stone in the store, and that stone is the one on disk.
#include <memory>

#include "FuzzSupport.h"
#include "HandoffEntry.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto file = std::make_shared<fuzz::MemoryLogStore>(std::nullopt);
    auto store = std::make_shared<StoneIdentityStore>(file);
    std::vector<std::string> lines;
    HandoffEntry entry(store, [&](std::string_view kind, std::string_view detail, TimePoint) {
        if (kind != "stone") fuzz::fail("a handoff wrote a line of another kind");
        lines.emplace_back(detail);
    }, fuzz::fixedClock());

    for (const auto url : fuzz::pieces(fuzz::asText(data, size), 8)) {
        const auto before = store->current();
        const auto bytesBefore = file->bytes();
        const std::size_t count = lines.size();
        const bool redraw = entry.open(url);
        if (lines.size() != count + 1) fuzz::fail("an address gave other than one journal line");
        const std::string& line = lines.back();
        const auto now = store->current();
        if (line.starts_with("kept ")) {
            if (!redraw || !now) fuzz::fail("a kept stone was not drawn");
            if (line.rfind("kept " + std::string(now->stoneId()) + " from the web handoff", 0) != 0)
                fuzz::fail("the journal names another stone than the one kept");
            if (!file->bytes() || StoneIdentity::strictDecode(*file->bytes()) != now)
                fuzz::fail("the kept stone is not the one on disk");
        } else {
            if (redraw) fuzz::fail("the surfaces were redrawn for nothing kept");
            if (now != before || file->bytes() != bytesBefore) fuzz::fail("a refused address changed the stone");
            if (!line.starts_with("handoff ignored: ") && line != "handoff matched the stone already kept")
                fuzz::fail("an unexpected journal line: " + line);
        }
    }
    return 0;
}
