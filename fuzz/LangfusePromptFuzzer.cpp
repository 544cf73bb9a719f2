// Any answer body from the prompt registry: a prompt, or a typed failure.
#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "Mind/LangfusePrompt.h"
#include "Support/JsonText.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    auto result = HttpLangfusePromptFetcher::parse(text, "carrowin-persona", "production");
    if (const auto* prompt = std::get_if<LangfusePrompt>(&result)) {
        // A prompt that was served must survive the cache's own file.
        auto written = JsonText::encode(nlohmann::json(*prompt));
        if (!written) fuzz::fail("a served prompt cannot be written");
        auto back = JsonText::decode(*written);
        if (!back || langfusePromptFromJson(*back) != *prompt)
            fuzz::fail("a written prompt reads back otherwise");
    }
    if (auto json = JsonText::decode(text)) (void)langfusePromptFromJson(*json);
    return 0;
}
