#pragma once

#include <string_view>

namespace quillfen::UpdateSignature {

// Whether `signature` (64 bytes) is an Ed25519 signature of `message` by the holder of
// `publicKey` (32 raw bytes). Anything malformed is simply not a valid signature.
bool verify(std::string_view message, std::string_view signature, std::string_view publicKey);

}  // namespace quillfen::UpdateSignature
