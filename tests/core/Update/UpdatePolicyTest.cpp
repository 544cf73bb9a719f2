#include <gtest/gtest.h>

#include "Update/BuildInfo.h"
#include "Update/UpdatePolicy.h"

namespace quillfen {
namespace {

UpdateManifest offering(std::string url, std::int64_t build = 42) {
    return UpdateManifest{build, "1.4.0", "abc123", std::move(url), "2026-01-05T10:00:00Z"};
}

TEST(UpdateManifest, DecodesOnlyWithAllFiveKeysOfTheirTypes) {
    const auto manifest = offering("https://updates.quillfen.org/a.tar");
    auto text = manifest.encode();
    text.insert(text.size() - 1, R"(,"notes":"extra keys are ignored")");
    EXPECT_EQ(std::get<UpdateManifest>(UpdateManifest::decode(text)), manifest);

    const std::pair<const char*, const char*> refused[] = {
        {R"({"build":42,"version":"1","sha":"s","url":"u"})", "missing publishedAt"},
        {R"({"build":"42","version":"1","sha":"s","url":"u","publishedAt":"p"})", "build not a whole number"},
        {R"({"build":42,"version":null,"sha":"s","url":"u","publishedAt":"p"})", "version not a string"},
        {"<html><body>404 Not Found</body></html>", "manifest is not JSON"},
    };
    for (const auto& [text, why] : refused) {
        EXPECT_NE(std::get<std::string>(UpdateManifest::decode(text)).find(why), std::string::npos) << text;
    }
}

TEST(UpdatePolicy, OnlyAStrictlyNewerBuildOfANumberedCopyUpdates) {
    for (auto [local, offered, update] : {std::tuple{0, 1, false}, {41, 41, false}, {41, 40, false}, {41, 42, true}}) {
        EXPECT_EQ(UpdatePolicy::shouldUpdate(local, offering("", offered)), update) << local << " -> " << offered;
    }
}

TEST(UpdatePolicy, DownloadsComeOverHttpsFromTheUpdateHostAlone) {
    for (const char* url : {"https://updates.quillfen.org/downloads/q-42.tar?x=1", "https://updates.quillfen.org:8443/q"}) {
        EXPECT_EQ(UpdatePolicy::allowedDownloadURL(offering(url)), url);
    }
    for (const char* url : {"http://updates.quillfen.org/q.tar", "HTTPS://updates.quillfen.org/q.tar",
                            "https://Updates.quillfen.org/q.tar", "https://mirror.example.org/q.tar",
                            "https://updates.quillfen.org@evil.example/q.tar", "https:///q.tar",
                            "https:/updates.quillfen.org/q.tar", "https://updates.quillfen.org/a b", "/q.tar"}) {
        EXPECT_EQ(UpdatePolicy::allowedDownloadURL(offering(url)), std::nullopt) << url;
    }
    EXPECT_EQ(UpdatePolicy::signatureURL("https://updates.quillfen.org/d/q.tar?x=1#top"),
              "https://updates.quillfen.org/d/q.tar.sig?x=1");
}

TEST(BuildInfo, EachFactFallsBackOnItsOwn) {
    EXPECT_EQ(BuildInfo::decode(R"({"build":42,"version":"1.4.0","sha":"abc"})"), (BuildInfo{42, "1.4.0", "abc"}));
    EXPECT_EQ(BuildInfo::decode(R"({"build":"42","version":7,"sha":"abc"})"), (BuildInfo{0, "dev", "abc"}));
    EXPECT_EQ(BuildInfo::decode("not json"), BuildInfo{});
}

}  // namespace
}  // namespace quillfen
