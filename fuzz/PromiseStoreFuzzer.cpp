// promise.json in any state: the store loads what it can, words the promise, and saves it again.
#include <memory>

#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "Promise/PromiseStore.h"
#include "Support/JsonText.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    if (auto json = JsonText::decode(text)) (void)promiseFromJson(*json);

    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(text));
    PromiseStore promises(store);
    const auto promise = promises.current();
    if (!promise) return 0;
    (void)promise->sentence();
    if (auto move = promise->moveForThisMoment(std::nullopt)) (void)promise->moveForThisMoment(move->id);

    promises.save(*promise);
    PromiseStore reloaded(store);
    if (!reloaded.current()) fuzz::fail("a saved promise does not load back");
    return 0;
}
