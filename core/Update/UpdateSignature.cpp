#include "Update/UpdateSignature.h"

#include <openssl/evp.h>

#include <memory>

namespace quillfen::UpdateSignature {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

bool verify(std::string_view message, std::string_view signature, std::string_view publicKey) {
    if (signature.size() != 64 || publicKey.size() != 32) return false;
    std::unique_ptr<EVP_PKEY, KeyFree> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(publicKey.data()), publicKey.size()));
    if (!key) return false;
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    // Ed25519 signs the whole message in one pass; there is no streaming form to feed.
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

}  // namespace quillfen::UpdateSignature
