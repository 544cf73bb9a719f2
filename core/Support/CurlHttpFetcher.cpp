#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <functional>
#include <mutex>
#include <string_view>

#include "Support/HttpFetcher.h"
#include "Support/PathWalk.h"

namespace quillfen {

namespace {

// Where the body goes; false stops the transfer.
using BodySink = std::function<bool(const char* data, std::size_t size)>;

struct Transfer {
    BodySink sink;
    std::size_t received = 0;
    std::size_t limit = 0;
    bool tooLarge = false;
    bool sinkFailed = false;
    std::stop_token stop;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->received + bytes > transfer->limit) {
        transfer->tooLarge = true;
        return 0;  // makes curl abort the transfer
    }
    if (!transfer->sink(data, bytes)) {
        transfer->sinkFailed = true;
        return 0;
    }
    transfer->received += bytes;
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->stop.stop_requested() ? 1 : 0;
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyHandle {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~EasyHandle() {
        curl_slist_free_all(headers);
        if (handle) curl_easy_cleanup(handle);
    }
};

HttpResult perform(const HttpRequest& request, BodySink sink, std::stop_token stop) {
    initialiseCurlOnce();
    if (stop.stop_requested()) return HttpFailure{HttpFailure::Kind::cancelled, "cancelled"};
    EasyHandle easy;
    if (!easy.handle) return HttpFailure{HttpFailure::Kind::transport, "curl_easy_init failed"};

    Transfer transfer;
    transfer.sink = std::move(sink);
    transfer.limit = request.maxBodyBytes;
    transfer.stop = stop;

    const double timeout =
        std::isfinite(request.timeoutSeconds) && request.timeoutSeconds > 0 ? request.timeoutSeconds : 0.001;
    const char* protocols = request.httpsOnly ? "https" : "http,https";
    CURL* h = easy.handle;
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(std::ceil(timeout * 1000.0)));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (!request.trustedCertificatesFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, request.trustedCertificatesFile.c_str());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    for (const auto& [name, value] : request.headers) {
        easy.headers = curl_slist_append(easy.headers, (name + ": " + value).c_str());
    }
    if (easy.headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);

    const CURLcode code = curl_easy_perform(h);
    if (transfer.tooLarge) return HttpFailure{HttpFailure::Kind::bodyTooLarge, "answer larger than allowed"};
    if (transfer.sinkFailed) return HttpFailure{HttpFailure::Kind::transport, "could not store the answer"};
    if (code == CURLE_ABORTED_BY_CALLBACK) return HttpFailure{HttpFailure::Kind::cancelled, "cancelled"};
    if (code == CURLE_OPERATION_TIMEDOUT) return HttpFailure{HttpFailure::Kind::timedOut, "timed out"};
    if (code != CURLE_OK) return HttpFailure{HttpFailure::Kind::transport, curl_easy_strerror(code)};

    HttpResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    return response;
}


}  // namespace

HttpResult CurlHttpFetcher::get(const HttpRequest& request, std::stop_token stop) {
    std::string body;
    auto result = perform(
        request,
        [&body](const char* data, std::size_t size) {
            body.append(data, size);
            return true;
        },
        stop);
    if (auto* response = std::get_if<HttpResponse>(&result)) response->body = std::move(body);
    return result;
}

HttpResult CurlHttpFetcher::downloadInto(const HttpRequest& request, int file, std::stop_token stop) {
    return perform(
        request, [file](const char* data, std::size_t size) { return PathWalk::writeAll(file, std::string_view(data, size)); },
        stop);
}

HttpResult HttpFetcher::downloadInto(const HttpRequest& request, int file, std::stop_token stop) {
    auto result = get(request, stop);
    auto* response = std::get_if<HttpResponse>(&result);
    if (!response) return result;
    if (!PathWalk::writeAll(file, response->body)) return HttpFailure{HttpFailure::Kind::transport, "could not store the answer"};
    response->body.clear();
    return result;
}

std::string percentEncodeQueryValue(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

}  // namespace quillfen
