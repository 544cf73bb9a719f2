#pragma once

#include <cstddef>
#include <stop_token>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace quillfen {

struct HttpRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    double timeoutSeconds = 10;
    // A body larger than this is refused rather than buffered: answers come from outside.
    std::size_t maxBodyBytes = 1 << 20;
    // Only https, for the request and every redirect it is sent on.
    bool httpsOnly = false;
    // A PEM file of the certificates to trust instead of the system's; empty: the system's.
    std::string trustedCertificatesFile{};
};

struct HttpResponse {
    long status = 0;
    std::string body;
};

struct HttpFailure {
    enum class Kind { transport, timedOut, bodyTooLarge, cancelled };
    Kind kind = Kind::transport;
    std::string message;
};

using HttpResult = std::variant<HttpResponse, HttpFailure>;

// One HTTP GET. Implementations give up at the request's time-out and as soon as the
// stop token is triggered.
class HttpFetcher {
public:
    virtual ~HttpFetcher() = default;
    virtual HttpResult get(const HttpRequest& request, std::stop_token stop) = 0;

    // The same GET with the body written to `file`, a descriptor open for writing on a new file
    // that the caller made in a folder it holds, and closes, rather than held in memory; the
    // response carries no body. `maxBodyBytes` caps the file as it caps a body. On failure the
    // file may hold part of the body.
    virtual HttpResult downloadInto(const HttpRequest& request, int file, std::stop_token stop);
};

// libcurl, http and https only, following at most a few redirects.
class CurlHttpFetcher final : public HttpFetcher {
public:
    HttpResult get(const HttpRequest& request, std::stop_token stop) override;
    HttpResult downloadInto(const HttpRequest& request, int file, std::stop_token stop) override;
};

// "%XX" escapes for a query component (RFC 3986 unreserved characters stay as they are).
std::string percentEncodeQueryValue(std::string_view text);

}  // namespace quillfen
