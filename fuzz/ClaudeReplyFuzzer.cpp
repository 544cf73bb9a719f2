// Anything the `claude` tool prints: read as a decision, as a reflection line, and searched for
// its first JSON object.
#include "FuzzSupport.h"
#include "Mind/ClaudeReply.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    (void)ClaudeReply::parseDecision(text);
    (void)ClaudeReply::parseReflectionLine(text);
    if (auto object = ClaudeReply::firstJSONObject(text)) {
        if (object->front() != '{' || object->back() != '}') fuzz::fail("the object is not braced");
    }
    (void)ClaudeReply::normalize(text);
    return 0;
}
