#pragma once

#include <openssl/evp.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "support/TestEnvironment.h"

namespace quillfen::test {

// A fresh Ed25519 key pair, for signing what a test serves.
class SigningKey {
public:
    SigningKey();
    ~SigningKey() { EVP_PKEY_free(key_); }
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    std::string publicKey() const;  // 32 raw bytes
    std::string sign(std::string_view message) const;

private:
    EVP_PKEY* key_ = nullptr;
};

// A self-signed certificate for 127.0.0.1 and its key (PEM files, made by the openssl tool); the
// certificate is also the one authority a client trusts.
struct ThrowawayCertificate {
    ThrowawayCertificate();
    TempDir dir;
    std::filesystem::path certificate = dir.path() / "certificate.pem";
    std::filesystem::path key = dir.path() / "key.pem";
};

}  // namespace quillfen::test
