#include "support/ThrowawayKeys.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace quillfen::test {

SigningKey::SigningKey() {
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 || EVP_PKEY_keygen(context.get(), &key_) != 1)
        throw std::runtime_error("no Ed25519 key");
}

std::string SigningKey::publicKey() const {
    std::string raw(32, '\0');
    std::size_t length = raw.size();
    EVP_PKEY_get_raw_public_key(key_, reinterpret_cast<unsigned char*>(raw.data()), &length);
    return raw;
}

std::string SigningKey::sign(std::string_view message) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1)
        throw std::runtime_error("cannot sign");
    return signature;
}

ThrowawayCertificate::ThrowawayCertificate() {
    const auto command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
                         "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                         key.string() + "' -out '" + certificate.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl made no certificate");
}

}  // namespace quillfen::test
