// The browser companion's journal, whatever it holds: the rhythm parses and counts.
#include "FuzzSupport.h"
#include "Signals/BrowserRhythm.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const auto rhythm = BrowserRhythm::parse(text);
    (void)rhythm.tabSwitches(3600, fuzz::fixedNow());
    (void)rhythm.activeMinutesToday(fuzz::fixedNow(), 1800);

    const auto file = fuzz::scratch() / "family" / "browser-rhythm.jsonl";
    fuzz::writeFile(file, text, fuzz::fixedNow());
    (void)BrowserRhythm::read(file).activeMinutesToday(fuzz::fixedNow(), 1800);
    return 0;
}
