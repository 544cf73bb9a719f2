#include "Mind/LangfusePrompt.h"

#include <openssl/evp.h>

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/Text.h"

namespace quillfen {

namespace {

constexpr std::size_t kMaxPromptAnswerBytes = 4 << 20;

const std::string* nonEmpty(const Environment& env, const char* name) {
    auto it = env.find(name);
    return it == env.end() || it->second.empty() ? nullptr : &it->second;
}

bool allowedInPath(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string percentEncodePath(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (allowedInPath(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(written));
    return out;
}

}  // namespace

std::optional<LangfuseCredentials> LangfuseCredentials::fromEnvironment(const Environment& env) {
    const auto* publicKey = nonEmpty(env, "QUILLFEN_LANGFUSE_PUBLIC_KEY");
    if (!publicKey) return std::nullopt;
    const auto* secretKey = nonEmpty(env, "QUILLFEN_LANGFUSE_SECRET_KEY");
    if (!secretKey) return std::nullopt;
    const auto* hostValue = nonEmpty(env, "QUILLFEN_LANGFUSE_HOST");
    std::string host = hostValue ? *hostValue : kDefaultHost;
    if (!isParseableURL(host)) return std::nullopt;
    return LangfuseCredentials{*publicKey, *secretKey, host};
}

void to_json(nlohmann::json& j, const LangfusePrompt& p) {
    j = {{"name", p.name}, {"version", p.version}, {"label", p.label}, {"text", p.text}};
}

std::optional<LangfusePrompt> langfusePromptFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        return LangfusePrompt{asString(field(j, "name")), asInt64(field(j, "version")),
                              asString(field(j, "label")), asString(field(j, "text"))};
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

std::string describe(const LangfuseError& e) {
    switch (e.kind) {
        case LangfuseError::Kind::badRequest:
            return "badRequest: " + e.message;
        case LangfuseError::Kind::httpStatus:
            return "httpStatus: " + std::to_string(e.status);
        case LangfuseError::Kind::unparseable:
            return "unparseable";
        case LangfuseError::Kind::unsupportedPromptShape:
            return "unsupportedPromptShape";
        case LangfuseError::Kind::transport:
            return "transport: " + e.message;
    }
    return "unknown";
}

HttpLangfusePromptFetcher::HttpLangfusePromptFetcher(std::shared_ptr<HttpFetcher> http)
    : http_(std::move(http)) {}

std::optional<std::string> HttpLangfusePromptFetcher::promptURL(const std::string& host,
                                                                const std::string& name,
                                                                const std::string& label) {
    if (!isParseableURL(host)) return std::nullopt;
    std::string base = host.substr(0, host.find_first_of("?#"));
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + "/api/public/v2/prompts/" + percentEncodePath(name) +
           "?label=" + percentEncodeQueryValue(label);
}

std::string HttpLangfusePromptFetcher::authorizationHeader(const LangfuseCredentials& c) {
    return "Basic " + base64(c.publicKey + ":" + c.secretKey);
}

LangfuseResult HttpLangfusePromptFetcher::parse(std::string_view body, const std::string& name,
                                                const std::string& label) {
    auto json = JsonText::decode(body);
    if (!json || !json->is_object()) return LangfuseError{LangfuseError::Kind::unparseable, {}, 0};
    long long version = 0;
    if (auto it = json->find("version"); it != json->end()) {
        try {
            version = JsonFields::asInt64(*it);
        } catch (const JsonFields::Invalid&) {
            version = 0;
        }
    }
    auto prompt = json->find("prompt");
    if (prompt == json->end() || !prompt->is_string() ||
        Text::trimmed(prompt->get_ref<const std::string&>()).empty()) {
        return LangfuseError{LangfuseError::Kind::unsupportedPromptShape, {}, 0};
    }
    return LangfusePrompt{name, version, label, prompt->get<std::string>()};
}

LangfuseResult HttpLangfusePromptFetcher::fetchPrompt(const std::string& name, const std::string& label,
                                                      const LangfuseCredentials& credentials, double timeout,
                                                      std::stop_token stop) const {
    auto url = promptURL(credentials.host, name, label);
    if (!url) {
        return LangfuseError{LangfuseError::Kind::badRequest, "could not build the prompts URL for " + name,
                             0};
    }
    HttpRequest request;
    request.url = *url;
    request.timeoutSeconds = timeout;
    request.maxBodyBytes = kMaxPromptAnswerBytes;
    request.headers = {{"Authorization", authorizationHeader(credentials)}, {"Accept", "application/json"}};
    auto result = http_->get(request, stop);
    if (const auto* failure = std::get_if<HttpFailure>(&result)) {
        return LangfuseError{LangfuseError::Kind::transport, failure->message, 0};
    }
    const auto& response = std::get<HttpResponse>(result);
    if (response.status != 200) return LangfuseError{LangfuseError::Kind::httpStatus, {}, response.status};
    return parse(response.body, name, label);
}

}  // namespace quillfen
