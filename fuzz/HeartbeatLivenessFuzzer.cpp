// heartbeat.json in any state: liveness answers, and a new tick replaces it.
#include <memory>

#include "FuzzSupport.h"
#include "Log/HeartbeatLiveness.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(fuzz::asText(data, size)));
    HeartbeatLiveness liveness(store, 900, fuzz::fixedClock());
    (void)liveness.lastTickAt();
    (void)liveness.freshness();
    (void)liveness.isStale(addSeconds(fuzz::fixedNow(), 1e9));
    liveness.recordTick();
    if (liveness.freshness().kind != HeartbeatLiveness::Freshness::Kind::fresh)
        fuzz::fail("a tick just recorded is not fresh");
    return 0;
}
