// The prompt hook's journal, whatever it holds: the cadence parses and counts.
#include "FuzzSupport.h"
#include "Signals/PromptCadence.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const auto cadence = PromptCadence::parse(text);
    (void)cadence.count(600, fuzz::fixedNow());
    (void)cadence.count(1800, fuzz::fixedNow());
    (void)cadence.countToday(fuzz::fixedNow());

    const auto file = fuzz::scratch() / "family" / "prompt-cadence.jsonl";
    fuzz::writeFile(file, text, fuzz::fixedNow());
    (void)PromptCadence::read(file).countToday(fuzz::fixedNow());
    return 0;
}
