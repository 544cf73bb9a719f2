// The documents a mind receives, read back from any text, and the leak checks over any text:
// a document either reads and is checked, or does not read; a check always answers.
#include "Contract/AgentContext.h"
#include "Contract/AgentSummary.h"
#include "FuzzSupport.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    (void)AgentSummary::rawLeakIn(text);
    (void)AgentContext::activityTokenIn(text);

    if (auto summary = agentSummaryFromJsonText(text)) {
        (void)summary->assertNoRawLeak();
        if (agentSummaryFromJsonText(summary->jsonString()) != summary)
            fuzz::fail("a summary reads back otherwise");
    }
    if (auto context = agentContextFromJsonText(text)) {
        (void)context->assertNoRawLeak();
        if (auto written = context->jsonString()) {
            if (agentContextFromJsonText(*written) != context) fuzz::fail("a context reads back otherwise");
        }
    }
    return 0;
}
