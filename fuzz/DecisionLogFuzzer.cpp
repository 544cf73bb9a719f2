// decisions-log.jsonl as any process, crash or disk left it: today's entries read.
#include "FuzzSupport.h"
#include "Log/DecisionLog.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = fuzz::scratch() / "family" / "decisions-log.jsonl";
    fuzz::writeFile(file, fuzz::asText(data, size), fuzz::fixedNow());
    (void)DecisionLog::today(file, fuzz::fixedNow());
    DecisionLog::append(file, "mind", "a line", fuzz::fixedNow());
    const auto entries = DecisionLog::today(file, fuzz::fixedNow());
    if (entries.empty() || entries.back().kind != "mind") fuzz::fail("an appended entry is not read back");
    return 0;
}
