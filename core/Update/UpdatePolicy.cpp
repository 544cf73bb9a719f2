#include "Update/UpdatePolicy.h"

#include <curl/curl.h>

#include <memory>

namespace quillfen::UpdatePolicy {

namespace {

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlFree>;

std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, 0) != CURLUE_OK || text == nullptr) return std::nullopt;
    std::string value(text);
    curl_free(text);
    return value;
}

// Parsed by the same code that will make the request, so the host checked here is the host
// contacted: a hand-made parser could read "https://a@b/" differently from libcurl.
UrlHandle parsed(std::string_view text) {
    // libcurl forgives "https:/host" and "https:///path"; an address must say its host plainly.
    constexpr std::string_view prefix = "https://";
    if (text.substr(0, prefix.size()) != prefix || text.size() == prefix.size() || text[prefix.size()] == '/') {
        return nullptr;
    }
    if (text.find('\0') != std::string_view::npos) return nullptr;
    UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, std::string(text).c_str(), 0) != CURLUE_OK) return nullptr;
    return url;
}

}  // namespace

std::string signingKey() {
    static const unsigned char key[32] = {0x1c, 0x5a, 0x33, 0x90, 0xf0, 0x8d, 0x10, 0x28, 0x09, 0xe2, 0xb3,
                                          0x71, 0xc8, 0x9b, 0xa7, 0x87, 0xe7, 0xe4, 0x4e, 0x7d, 0x7a, 0xb8,
                                          0x57, 0x82, 0xe7, 0x9f, 0xc8, 0x02, 0x3e, 0xc2, 0xd5, 0x01};
    return std::string(reinterpret_cast<const char*>(key), sizeof key);
}

bool shouldUpdate(std::int64_t localBuild, const UpdateManifest& manifest) {
    return localBuild >= 1 && manifest.build > localBuild;
}

std::optional<std::string> allowedDownloadURL(const UpdateManifest& manifest, std::string_view requiredHost) {
    auto url = parsed(manifest.url);
    if (!url) return std::nullopt;
    if (part(url.get(), CURLUPART_SCHEME) != "https") return std::nullopt;
    auto host = part(url.get(), CURLUPART_HOST);
    if (!host || *host != requiredHost) return std::nullopt;
    return part(url.get(), CURLUPART_URL);
}

std::optional<std::string> signatureURL(std::string_view archiveURL) {
    auto url = parsed(archiveURL);
    if (!url) return std::nullopt;
    auto path = part(url.get(), CURLUPART_PATH);
    if (!path) return std::nullopt;
    *path += ".sig";
    if (curl_url_set(url.get(), CURLUPART_PATH, path->c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0) != CURLUE_OK) {
        return std::nullopt;
    }
    return part(url.get(), CURLUPART_URL);
}

}  // namespace quillfen::UpdatePolicy
