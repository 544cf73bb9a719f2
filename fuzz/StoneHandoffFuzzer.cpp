// A handoff URL in any form: a stone is kept only from our own scheme, keeps the identity
// contract, has its drawing, and is stored and read back unchanged.
#include <memory>

#include "FuzzSupport.h"
#include "Stone/StoneArt.h"
#include "Stone/StoneHandoff.h"
#include "Stone/StoneIdentityStore.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url = fuzz::asText(data, size);
    const auto result = StoneHandoff::identity(url, fuzz::fixedNow());
    const bool ourScheme = url.starts_with("tavryn-stone:");
    const auto* kept = std::get_if<StoneIdentity>(&result);
    if (!kept) {
        const auto failure = std::get<StoneHandoff::Failure>(result);
        if (StoneHandoff::toString(failure).empty()) fuzz::fail("a refusal without a name");
        if (!ourScheme && failure != StoneHandoff::Failure::notAHandoff)
            fuzz::fail("another scheme is refused as something other than no handoff");
        return 0;
    }
    if (!ourScheme) fuzz::fail("a stone was kept from another scheme");

    const auto remade = StoneIdentity::make(kept->schemaVersion(), kept->stoneId(), kept->material(),
                                            kept->temperament(), kept->seed(), kept->shapeRevision());
    if (!remade || !(*remade == *kept)) fuzz::fail("a kept stone breaks the identity contract");
    if (!StoneArtLibrary::exactArt(*kept)) fuzz::fail("a kept stone has no drawing");

    // A handoff fresh now was fresh a day earlier too.
    const auto earlier = StoneHandoff::identity(url, addSeconds(fuzz::fixedNow(), -StoneHandoff::freshness));
    if (!std::holds_alternative<StoneIdentity>(earlier) || !(std::get<StoneIdentity>(earlier) == *kept))
        fuzz::fail("a handoff accepted now is refused at an earlier moment");

    if (StoneIdentity::strictDecode(kept->encode()) != *kept)
        fuzz::fail("the stored form does not read back");
    auto file = std::make_shared<fuzz::MemoryLogStore>(std::nullopt);
    if (!StoneIdentityStore(file).save(*kept)) fuzz::fail("a memory store refused a write");
    if (StoneIdentityStore(file).current() != *kept) fuzz::fail("a saved stone does not come back");
    return 0;
}
