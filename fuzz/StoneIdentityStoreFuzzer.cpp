// stone-identity.json in any state: the store wears only what keeps the contract, keeps anything
// else it cannot read aside before its first write, and a saved stone comes back.
#include <memory>

#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "Stone/StoneIdentityStore.h"
#include "Support/JsonText.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const auto decoded = StoneIdentity::decode(text);
    if (const auto* error = std::get_if<StoneIdentityDecodeError>(&decoded)) {
        if (error->kind == StoneIdentityDecodeError::Kind::contractViolation &&
            error->description != "stone-identity v1 contract violation")
            fuzz::fail("a contract violation without its description");
    }

    auto file = std::make_shared<fuzz::MemoryLogStore>(std::string(text));
    StoneIdentityStore stones(file);
    if (stones.current() != StoneIdentity::strictDecode(text))
        fuzz::fail("the store and the decoder disagree");
    if (const auto kept = stones.current()) {
        const auto remade = StoneIdentity::make(kept->schemaVersion(), kept->stoneId(), kept->material(),
                                                kept->temperament(), kept->seed(), kept->shapeRevision());
        if (!remade || !(*remade == *kept)) fuzz::fail("a stored stone breaks the identity contract");
        if (StoneIdentity::strictDecode(kept->encode()) != kept)
            fuzz::fail("the stored form does not read back");
    }

    const auto quartz =
        StoneIdentity::make(1, "quartz-a119", StoneMaterial::quartz, StoneTemperament::observant, "a119", 1);
    if (!stones.save(*quartz)) fuzz::fail("a memory store refused a write");
    if (file->bytes() != quartz->encode()) fuzz::fail("the save did not write the stone");
    // What clear() leaves, "null", is no damage.
    const auto json = JsonText::decode(text);
    const bool unreadable = !StoneIdentity::strictDecode(text) && !(json && json->is_null());
    if (unreadable != file->aside().has_value())
        fuzz::fail("the old file was kept aside when it should not, or lost");
    if (file->aside() && *file->aside() != text)
        fuzz::fail("something other than the old file was kept aside");
    if (StoneIdentityStore(file).current() != quartz) fuzz::fail("a saved stone does not come back");
    return 0;
}
