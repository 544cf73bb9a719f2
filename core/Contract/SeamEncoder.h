#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace quillfen::SeamEncoder {

// The wire form of the documents a mind receives: compact, keys sorted at every level,
// a whole-number double written without a fraction (120, not 120.0), any other double in
// its shortest round-trip form, and "/" escaped as "\/". A number that is not finite is an
// encoding failure: no value.
std::optional<std::string> encode(const nlohmann::json& value);

}  // namespace quillfen::SeamEncoder
