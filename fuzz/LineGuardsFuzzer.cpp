// Any bytes as a line from a mind: the voice and factual guards answer.
#include "Contract/AgentSummary.h"
#include "FuzzSupport.h"
#include "Mind/FactualGuard.h"
#include "Mind/VoiceGuard.h"
#include "Support/UnicodeText.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line = fuzz::asText(data, size);
    const VoiceCheck voice = VoiceGuard::check(line);
    if (voice.passed != voice.failures.empty()) fuzz::fail("a check passed with failures");
    (void)VoiceGuard::leadingCapital(line);

    AgentSummary summary;
    summary.summary.longAfternoonsThisWeek = 3;
    summary.summary.fragmentedAfternoonsThisWeek = 1;
    (void)FactualGuard::check(line, summary);
    (void)FactualGuard::claimedCounts(UnicodeText::lowercased(line));
    return 0;
}
