// nudge-budget.json as a crash or another hand left it: the budget loads, counts and records.
#include <memory>

#include "Decision/NudgeBudget.h"
#include "FuzzSupport.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(fuzz::asText(data, size)));
    NudgeBudget budget(store, fuzz::fixedClock());
    const auto before = budget.firedToday();
    if (before < 0) fuzz::fail("a negative count of fires");
    budget.recordFire();
    if (budget.firedToday() < before) fuzz::fail("a fire lowered the count");
    NudgeBudget reloaded(store, fuzz::fixedClock());
    if (reloaded.firedToday() != budget.firedToday()) fuzz::fail("the written count does not load back");
    return 0;
}
