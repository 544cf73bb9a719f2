#include <gtest/gtest.h>

#include "Update/BuildInfo.h"
#include "Update/UpdateManifest.h"
#include "Update/UpdatePolicy.h"

namespace quillfen {
namespace {

UpdateManifest manifestWithURL(std::string url, std::int64_t build = 42) {
    return UpdateManifest{build, "1.4.0", "abc123", std::move(url), "2026-01-05T10:00:00Z"};
}

TEST(UpdateManifest, DecodesOnlyWithAllFiveKeysOfTheirTypes) {
    const std::string good =
        R"({"build":42,"version":"1.4.0","sha":"abc123","url":"https://updates.quillfen.org/a.tar",)"
        R"("publishedAt":"2026-01-05T10:00:00Z","notes":"extra keys are ignored"})";
    auto decoded = UpdateManifest::decode(good);
    ASSERT_TRUE(std::holds_alternative<UpdateManifest>(decoded));
    const auto& manifest = std::get<UpdateManifest>(decoded);
    EXPECT_EQ(manifest, manifestWithURL("https://updates.quillfen.org/a.tar"));
    EXPECT_EQ(std::get<UpdateManifest>(UpdateManifest::decode(manifest.encode())), manifest);

    const std::pair<const char*, const char*> refused[] = {
        {R"({"build":42,"version":"1","sha":"s","url":"u"})", "missing publishedAt"},
        {R"({"build":"42","version":"1","sha":"s","url":"u","publishedAt":"p"})", "build not a whole number"},
        {R"({"build":42.5,"version":"1","sha":"s","url":"u","publishedAt":"p"})", "build not a whole number"},
        {R"({"build":42,"version":null,"sha":"s","url":"u","publishedAt":"p"})", "version not a string"},
        {R"([42])", "not an object"},
        {"<html><body>404 Not Found</body></html>", "manifest is not JSON"},
    };
    for (const auto& [text, why] : refused) {
        auto result = UpdateManifest::decode(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << text;
        EXPECT_NE(std::get<std::string>(result).find(why), std::string::npos) << std::get<std::string>(result);
    }
}

TEST(UpdatePolicy, OnlyAStrictlyNewerBuildOfANumberedCopyUpdates) {
    const struct {
        std::int64_t local, offered;
        bool update;
    } cases[] = {{0, 1, false}, {-3, 9, false}, {41, 41, false}, {41, 40, false}, {41, 42, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(UpdatePolicy::shouldUpdate(c.local, manifestWithURL("", c.offered)), c.update)
            << c.local << " -> " << c.offered;
    }
}

TEST(UpdatePolicy, DownloadsComeOverHttpsFromTheUpdateHostAlone) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"https://updates.quillfen.org/downloads/q-42.tar?x=1",
         "https://updates.quillfen.org/downloads/q-42.tar?x=1"},
        {"https://updates.quillfen.org:8443/q.tar", "https://updates.quillfen.org:8443/q.tar"},
        {"http://updates.quillfen.org/q.tar", std::nullopt},
        {"HTTPS://updates.quillfen.org/q.tar", std::nullopt},
        {"https://Updates.quillfen.org/q.tar", std::nullopt},
        {"https://mirror.example.org/q.tar", std::nullopt},
        {"https://updates.quillfen.org@evil.example/q.tar", std::nullopt},
        {"https://updates.quillfen.org.evil.example/q.tar", std::nullopt},
        {"https:///q.tar", std::nullopt},
        {"https:/updates.quillfen.org/q.tar", std::nullopt},
        {"https://updates.quillfen.org/a b.tar", std::nullopt},
        {"/downloads/q.tar", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [url, allowed] : cases) {
        EXPECT_EQ(UpdatePolicy::allowedDownloadURL(manifestWithURL(url)), allowed) << url;
    }
    EXPECT_EQ(UpdatePolicy::allowedDownloadURL(manifestWithURL("https://127.0.0.1:4433/a.tar"), "127.0.0.1"),
              "https://127.0.0.1:4433/a.tar");
    EXPECT_EQ(UpdatePolicy::signatureURL("https://updates.quillfen.org/d/q.tar?x=1#top"),
              "https://updates.quillfen.org/d/q.tar.sig?x=1");
    EXPECT_EQ(UpdatePolicy::signingKey().size(), 32u);
}

TEST(BuildInfo, EachFactFallsBackOnItsOwn) {
    EXPECT_EQ(BuildInfo::decode(R"({"build":42,"version":"1.4.0","sha":"abc"})"), (BuildInfo{42, "1.4.0", "abc"}));
    EXPECT_EQ(BuildInfo::decode(R"({"build":"42","version":7})"), (BuildInfo{0, "dev", "unstamped"}));
    EXPECT_EQ(BuildInfo::decode(R"({"sha":"abc"})"), (BuildInfo{0, "dev", "abc"}));
    EXPECT_EQ(BuildInfo::decode("not json"), BuildInfo{});
}

}  // namespace
}  // namespace quillfen
