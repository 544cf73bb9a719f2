#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Mind/LangfusePrompt.h"
#include "support/LocalHttpServer.h"

namespace quillfen {
namespace {

TEST(LangfuseCredentials, ComeFromTheEnvironmentOnlyWhenComplete) {
    Environment both{{"QUILLFEN_LANGFUSE_PUBLIC_KEY", "pk "}, {"QUILLFEN_LANGFUSE_SECRET_KEY", "sk"}};
    EXPECT_EQ(LangfuseCredentials::fromEnvironment(both),
              (LangfuseCredentials{"pk ", "sk", LangfuseCredentials::kDefaultHost}));

    auto emptyHost = both;
    emptyHost["QUILLFEN_LANGFUSE_HOST"] = "";
    EXPECT_EQ(LangfuseCredentials::fromEnvironment(emptyHost)->host, LangfuseCredentials::kDefaultHost);

    auto ownHost = both;
    ownHost["QUILLFEN_LANGFUSE_HOST"] = "http://127.0.0.1:3000";
    EXPECT_EQ(LangfuseCredentials::fromEnvironment(ownHost)->host, "http://127.0.0.1:3000");

    auto badHost = both;
    badHost["QUILLFEN_LANGFUSE_HOST"] = "not a host";
    EXPECT_FALSE(LangfuseCredentials::fromEnvironment(badHost));

    auto emptySecret = ownHost;
    emptySecret["QUILLFEN_LANGFUSE_SECRET_KEY"] = "";
    EXPECT_FALSE(LangfuseCredentials::fromEnvironment(emptySecret));
    EXPECT_FALSE(LangfuseCredentials::fromEnvironment({{"QUILLFEN_LANGFUSE_SECRET_KEY", "sk"}}));
}

TEST(HttpLangfusePromptFetcher, BuildsThePromptAddressFromTheHost) {
    using F = HttpLangfusePromptFetcher;
    EXPECT_EQ(F::promptURL("https://r.example", "carrowin-decide", "production"),
              "https://r.example/api/public/v2/prompts/carrowin-decide?label=production");
    EXPECT_EQ(F::promptURL("https://r.example/lf/?old=1", "a b", "my label"),
              "https://r.example/lf/api/public/v2/prompts/a%20b?label=my%20label");
    EXPECT_FALSE(F::promptURL("nope", "a", "b"));
    EXPECT_EQ(F::authorizationHeader({"pk-lf-1", "sk-lf-2", "https://x"}), "Basic cGstbGYtMTpzay1sZi0y");
}

TEST(HttpLangfusePromptFetcher, ReadsOnlyTextPromptsAndTheirVersion) {
    using F = HttpLangfusePromptFetcher;
    EXPECT_EQ(F::parse(R"({"name":"other","version":7,"label":"x","prompt":"  Be brief. "})", "mine", "prod"),
              LangfuseResult(LangfusePrompt{"mine", 7, "prod", "  Be brief. "}));
    EXPECT_EQ(std::get<LangfusePrompt>(F::parse(R"({"prompt":"p"})", "n", "l")).version, 0);
    EXPECT_EQ(std::get<LangfusePrompt>(F::parse(R"({"prompt":"p","version":"3"})", "n", "l")).version, 0);

    auto kind = [](const LangfuseResult& r) { return std::get<LangfuseError>(r).kind; };
    EXPECT_EQ(kind(F::parse(R"({"prompt":[{"role":"system"}]})", "n", "l")),
              LangfuseError::Kind::unsupportedPromptShape);
    EXPECT_EQ(kind(F::parse(R"({"prompt":" \n "})", "n", "l")), LangfuseError::Kind::unsupportedPromptShape);
    EXPECT_EQ(kind(F::parse("[1]", "n", "l")), LangfuseError::Kind::unparseable);
    EXPECT_EQ(kind(F::parse("<html>", "n", "l")), LangfuseError::Kind::unparseable);
}

TEST(HttpLangfusePromptFetcher, SendsOneAuthenticatedRequestAndReportsStatusWithoutSecrets) {
    test::LocalHttpServer local;
    std::string auth, accept, label, path;
    local.server().Get(
        R"(/api/public/v2/prompts/(.+))", [&](const httplib::Request& req, httplib::Response& res) {
            auth = req.get_header_value("Authorization");
            accept = req.get_header_value("Accept");
            label = req.get_param_value("label");
            path = req.path;
            if (req.matches[1] == "missing") {
                res.status = 404;
                res.set_content(R"({"message":"not found"})", "application/json");
                return;
            }
            res.set_content(R"({"prompt":"You are the stone.","version":4})", "application/json");
        });
    local.start();

    HttpLangfusePromptFetcher fetcher(std::make_shared<CurlHttpFetcher>());
    LangfuseCredentials credentials{"pk-secret-public", "sk-very-secret", local.baseURL()};
    auto found = fetcher.fetchPrompt("carrowin-decide", "production", credentials, 2.0, {});
    EXPECT_EQ(found,
              LangfuseResult(LangfusePrompt{"carrowin-decide", 4, "production", "You are the stone."}));
    EXPECT_EQ(auth, HttpLangfusePromptFetcher::authorizationHeader(credentials));
    EXPECT_EQ(accept, "application/json");
    EXPECT_EQ(label, "production");
    EXPECT_EQ(path, "/api/public/v2/prompts/carrowin-decide");

    auto missing = fetcher.fetchPrompt("missing", "production", credentials, 2.0, {});
    ASSERT_TRUE(std::holds_alternative<LangfuseError>(missing));
    EXPECT_EQ(std::get<LangfuseError>(missing).status, 404);

    LangfuseCredentials closed{"pk-secret-public", "sk-very-secret", "http://127.0.0.1:1"};
    auto refused = fetcher.fetchPrompt("carrowin-decide", "production", closed, 1.0, {});
    ASSERT_TRUE(std::holds_alternative<LangfuseError>(refused));
    const auto text = describe(std::get<LangfuseError>(refused));
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
}

}  // namespace
}  // namespace quillfen
