#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "Config/AppConfig.h"
#include "Support/HttpFetcher.h"

namespace quillfen {

// Access to the prompt registry; taken from the environment only, never stored.
struct LangfuseCredentials {
    static constexpr const char* kDefaultHost = "https://cloud.langfuse.com";

    std::string publicKey;
    std::string secretKey;
    std::string host;

    // Nothing unless both keys are set and not empty and the host parses as a URL.
    static std::optional<LangfuseCredentials> fromEnvironment(const Environment& environment);

    bool operator==(const LangfuseCredentials&) const = default;
};

struct LangfusePrompt {
    std::string name;
    long long version = 0;
    std::string label;
    std::string text;
    bool operator==(const LangfusePrompt&) const = default;
};

void to_json(nlohmann::json&, const LangfusePrompt&);
// All four members are required.
std::optional<LangfusePrompt> langfusePromptFromJson(const nlohmann::json&);

struct LangfuseError {
    enum class Kind { badRequest, httpStatus, unparseable, unsupportedPromptShape, transport };
    Kind kind = Kind::badRequest;
    std::string message;  // badRequest, transport
    long status = 0;      // httpStatus
    bool operator==(const LangfuseError&) const = default;
};

// Says what failed without any part of the credentials.
std::string describe(const LangfuseError&);

using LangfuseResult = std::variant<LangfusePrompt, LangfuseError>;

class LangfusePromptFetcher {
public:
    virtual ~LangfusePromptFetcher() = default;
    virtual LangfuseResult fetchPrompt(const std::string& name, const std::string& label,
                                       const LangfuseCredentials& credentials, double timeout,
                                       std::stop_token stop) const = 0;
};

// The registry's public HTTP interface over an HttpFetcher.
class HttpLangfusePromptFetcher final : public LangfusePromptFetcher {
public:
    explicit HttpLangfusePromptFetcher(std::shared_ptr<HttpFetcher> http);

    LangfuseResult fetchPrompt(const std::string& name, const std::string& label,
                               const LangfuseCredentials& credentials, double timeout,
                               std::stop_token stop) const override;

    // The request URL: the host's path, then "/api/public/v2/prompts/" and the encoded name,
    // with "label" as the only query item. Nothing when no URL can be formed.
    static std::optional<std::string> promptURL(const std::string& host, const std::string& name,
                                                const std::string& label);
    static std::string authorizationHeader(const LangfuseCredentials& credentials);
    static LangfuseResult parse(std::string_view body, const std::string& name, const std::string& label);

private:
    std::shared_ptr<HttpFetcher> http_;
};

}  // namespace quillfen
