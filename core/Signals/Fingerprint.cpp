#include "Signals/Fingerprint.h"

#include <openssl/evp.h>

#include <cstdio>

namespace quillfen {

std::string fingerprint(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1 || length < 6) {
        // Not expected with the built-in provider; an empty mark never matches a real one.
        return {};
    }
    char hex[13];
    for (int i = 0; i < 6; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return std::string(hex, 12);
}

}  // namespace quillfen
