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
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    // 32 raw bytes.
    std::string publicKey() const;
    // 64 bytes.
    std::string sign(std::string_view message) const;

private:
    EVP_PKEY* key_ = nullptr;
};

// A self-signed certificate for 127.0.0.1 and its key, as PEM files in a folder of their own.
// The certificate file also serves as the one trusted authority of a client.
class ThrowawayCertificate {
public:
    ThrowawayCertificate();
    const std::filesystem::path& certificate() const { return certificate_; }
    const std::filesystem::path& key() const { return key_; }

private:
    TempDir dir_;
    std::filesystem::path certificate_;
    std::filesystem::path key_;
};

}  // namespace quillfen::test
