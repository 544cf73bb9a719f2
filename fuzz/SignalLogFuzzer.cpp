// signal-log.json after a crash or a full disk: whatever bytes, the log loads, answers and
// writes again, and the summary the engine builds from it on every tick comes out. The log's own
// reader takes and refuses exactly what a document tree with `sampleFromJson` would.
#include <memory>

#include <nlohmann/json.hpp>

#include "Contract/AgentSummary.h"
#include "FuzzSupport.h"
#include "Log/SignalLog.h"
#include "Log/SignalLogText.h"
#include "Reflection/RhythmScore.h"
#include "Support/JsonText.h"

using namespace quillfen;

namespace {

std::optional<std::vector<SignalSample>> treeDecode(std::string_view text) {
    auto json = JsonText::decode(text);
    return json ? samplesFromJson(*json) : std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (SignalLogText::decode(fuzz::asText(data, size)) != treeDecode(fuzz::asText(data, size)))
        fuzz::fail("the log's reader and the tree reader disagree");

    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(fuzz::asText(data, size)));
    SignalLog log(store, 14, fuzz::fixedClock());

    const auto samples = log.all();
    (void)log.samplesInLast(3600);
    (void)log.samplesBetweenHours(12, 18);
    (void)log.daysWithLongStretch(120, 7 * 86400.0);

    const auto summary = AgentSummary::build(samples, fuzz::fixedNow(), AgentProfile::work, 1, true);
    (void)AgentSummary::weekBreakdown(samples, fuzz::fixedNow());
    (void)summary.assertNoRawLeak();
    (void)RhythmScore::of(summary);

    SignalSample next;
    next.timestamp = fuzz::fixedNow();
    next.continuousActiveSeconds = 600;
    next.localHour = 15;
    const int writesBefore = store->writes();
    log.append(next);

    // What the log wrote must load again, whole.
    if (store->writes() > writesBefore) {
        SignalLog reloaded(std::make_shared<fuzz::MemoryLogStore>(store->bytes()), 14, fuzz::fixedClock());
        if (reloaded.all().size() != log.all().size()) fuzz::fail("the rewritten log does not load whole");
    }
    return 0;
}
