#include "support/ThrowawayKeys.h"

#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace quillfen::test {

namespace {

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("OpenSSL: ") + what);
}

EVP_PKEY* generate(int type) {
    EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        type == EVP_PKEY_EC ? EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr)
                            : EVP_PKEY_CTX_new_id(type, nullptr),
        EVP_PKEY_CTX_free);
    check(context && EVP_PKEY_keygen_init(context.get()) == 1, "keygen init");
    if (type == EVP_PKEY_EC) {
        check(EVP_PKEY_CTX_set_ec_paramgen_curve_nid(context.get(), NID_X9_62_prime256v1) == 1, "curve");
    }
    check(EVP_PKEY_keygen(context.get(), &key) == 1, "keygen");
    return key;
}

void writePem(const std::filesystem::path& path, const std::function<int(FILE*)>& write) {
    FILE* file = std::fopen(path.c_str(), "w");
    check(file != nullptr, "open PEM file");
    const int ok = write(file);
    std::fclose(file);
    check(ok == 1, "write PEM");
}

}  // namespace

SigningKey::SigningKey() : key_(generate(EVP_PKEY_ED25519)) {}

SigningKey::~SigningKey() {
    EVP_PKEY_free(key_);
}

std::string SigningKey::publicKey() const {
    std::string raw(32, '\0');
    std::size_t length = raw.size();
    check(EVP_PKEY_get_raw_public_key(key_, reinterpret_cast<unsigned char*>(raw.data()), &length) == 1,
          "raw public key");
    return raw;
}

std::string SigningKey::sign(std::string_view message) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    check(context && EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_) == 1, "sign init");
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    check(EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                         reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1,
          "sign");
    return signature;
}

ThrowawayCertificate::ThrowawayCertificate()
    : certificate_(dir_.path() / "certificate.pem"), key_(dir_.path() / "key.pem") {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(generate(EVP_PKEY_EC), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    X509* x = certificate.get();
    check(x && X509_set_version(x, 2) == 1, "version");
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 24 * 3600);
    X509_set_pubkey(x, key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                               -1, 0);
    X509_set_issuer_name(x, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
    for (auto [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                              std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        check(extension != nullptr, "extension");
        X509_add_ext(x, extension, -1);
        X509_EXTENSION_free(extension);
    }
    check(X509_sign(x, key.get(), EVP_sha256()) > 0, "sign certificate");
    writePem(certificate_, [&](FILE* f) { return PEM_write_X509(f, x); });
    writePem(key_, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

}  // namespace quillfen::test
