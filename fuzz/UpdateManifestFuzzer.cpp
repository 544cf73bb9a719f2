// Any answer from the update host where the manifest should be: decoded or refused, and a
// decoded manifest's download address judged by the policy.
#include "FuzzSupport.h"
#include "Update/UpdateManifest.h"
#include "Update/UpdatePolicy.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto decoded = UpdateManifest::decode(fuzz::asText(data, size));
    const auto* manifest = std::get_if<UpdateManifest>(&decoded);
    if (!manifest) return 0;
    auto again = UpdateManifest::decode(manifest->encode());
    if (!std::holds_alternative<UpdateManifest>(again) || std::get<UpdateManifest>(again) != *manifest) {
        fuzz::fail("a decoded manifest does not survive its own encoding");
    }
    for (const char* host : {UpdatePolicy::kRequiredHost, "127.0.0.1"}) {
        const auto allowed = UpdatePolicy::allowedDownloadURL(*manifest, host);
        if (!allowed) continue;
        // What is requested must pass the same rule: the host checked is the host contacted.
        auto requested = *manifest;
        requested.url = *allowed;
        if (UpdatePolicy::allowedDownloadURL(requested, host) != allowed) fuzz::fail("an allowed address changes");
        const auto signature = UpdatePolicy::signatureURL(*allowed);
        requested.url = signature.value_or("");
        if (!signature || !UpdatePolicy::allowedDownloadURL(requested, host)) {
            fuzz::fail("the signature of an allowed archive lies off the policy");
        }
    }
    return 0;
}
