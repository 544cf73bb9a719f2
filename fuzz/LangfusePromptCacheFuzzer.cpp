// langfuse-prompt-cache.json in any state: the cache loads its last good prompts, serves them,
// and writes its file again after a fetch.
#include <memory>

#include "FuzzSupport.h"
#include "Mind/LangfusePromptCache.h"

using namespace quillfen;

namespace {

class AnsweringFetcher final : public LangfusePromptFetcher {
public:
    LangfuseResult fetchPrompt(const std::string& name, const std::string& label, const LangfuseCredentials&,
                               double, std::stop_token) const override {
        return LangfusePrompt{name, 7, label, "You are the stone."};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(fuzz::asText(data, size)));
    auto fetcher = std::make_shared<AnsweringFetcher>();
    const LangfuseCredentials credentials{"pk", "sk", LangfuseCredentials::kDefaultHost};
    {
        LangfusePromptCache cache(fetcher, 300, 5, store, fuzz::fixedClock());
        (void)cache.getPrompt("carrowin-persona", "production", std::nullopt);
        (void)cache.getPrompt("carrowin-reflection", "production", std::nullopt);
        if (!cache.getPrompt("carrowin-persona", "production", credentials))
            fuzz::fail("a fetched prompt is not served");
    }
    LangfusePromptCache reloaded(nullptr, 300, 5, store, fuzz::fixedClock());
    if (!reloaded.getPrompt("carrowin-persona", "production", std::nullopt))
        fuzz::fail("the written cache does not hold the fetched prompt");
    return 0;
}
