#include <curl/curl.h>

#include <cmath>
#include <mutex>

#include "Support/HttpFetcher.h"

namespace quillfen {

namespace {

struct Transfer {
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
    std::stop_token stop;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->limit) {
        transfer->tooLarge = true;
        return 0;  // makes curl abort the transfer
    }
    transfer->body.append(data, bytes);
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

}  // namespace

HttpResult CurlHttpFetcher::get(const HttpRequest& request, std::stop_token stop) {
    initialiseCurlOnce();
    if (stop.stop_requested()) return HttpFailure{HttpFailure::Kind::cancelled, "cancelled"};
    EasyHandle easy;
    if (!easy.handle) return HttpFailure{HttpFailure::Kind::transport, "curl_easy_init failed"};

    Transfer transfer;
    transfer.limit = request.maxBodyBytes;
    transfer.stop = stop;

    const double timeout =
        std::isfinite(request.timeoutSeconds) && request.timeoutSeconds > 0 ? request.timeoutSeconds : 0.001;
    CURL* h = easy.handle;
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(std::ceil(timeout * 1000.0)));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    for (const auto& [name, value] : request.headers) {
        easy.headers = curl_slist_append(easy.headers, (name + ": " + value).c_str());
    }
    if (easy.headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);

    const CURLcode code = curl_easy_perform(h);
    if (transfer.tooLarge) return HttpFailure{HttpFailure::Kind::bodyTooLarge, "answer larger than allowed"};
    if (code == CURLE_ABORTED_BY_CALLBACK) return HttpFailure{HttpFailure::Kind::cancelled, "cancelled"};
    if (code == CURLE_OPERATION_TIMEDOUT) return HttpFailure{HttpFailure::Kind::timedOut, "timed out"};
    if (code != CURLE_OK) return HttpFailure{HttpFailure::Kind::transport, curl_easy_strerror(code)};

    HttpResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(transfer.body);
    return response;
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
