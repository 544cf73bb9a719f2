// nudge-outcomes.json in any state: the tracker loads, judges what is pending against a few
// samples, records a fire and an answer, and what it writes loads again.
#include <memory>

#include "Feedback/NudgeOutcomeTracker.h"
#include "FuzzSupport.h"

using namespace quillfen;

namespace {

std::vector<SignalSample> samplesAfter(TimePoint since) {
    std::vector<SignalSample> out;
    for (int minutes : {5, 20, 40}) {
        SignalSample s;
        s.timestamp = addSeconds(since, minutes * 60.0);
        s.continuousActiveSeconds = minutes == 20 ? 0 : 60.0 * minutes;
        s.secondsSinceLastInput = minutes == 20 ? 600 : 0;
        s.localHour = 15;
        out.push_back(s);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(fuzz::asText(data, size)));
    NudgeOutcomeTracker tracker(store, fuzz::fixedClock());
    (void)tracker.recentOutcomes(5);
    (void)tracker.recentResponses(NudgeOutcomeTracker::defaultHistoryLimit);
    (void)tracker.resolveReady(samplesAfter, [] { return std::optional<double>(0.5); });
    tracker.recordFire(0.7);
    tracker.markLatestExplicit(true);
    (void)tracker.resolveReady(samplesAfter, [] { return std::optional<double>(); });

    NudgeOutcomeTracker reloaded(store, fuzz::fixedClock());
    if (reloaded.recentOutcomes(100) != tracker.recentOutcomes(100))
        fuzz::fail("the written outcomes do not load back");
    return 0;
}
