#include <gtest/gtest.h>

#include <sys/stat.h>
#include <atomic>
#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "Mind/LangfusePromptCache.h"
#include "support/FixedClock.h"
#include "support/Hold.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;
using test::at;

// Answers from a script: a prompt per name, a failure, or a wait first until the hold is let go
// or the caller asks it to stop.
class ScriptedFetcher final : public LangfusePromptFetcher {
public:
    LangfuseResult fetchPrompt(const std::string& name, const std::string& label, const LangfuseCredentials&,
                               double, std::stop_token stop) const override {
        ++requests;
        if (held) hold.wait(stop);
        if (fail) return LangfuseError{LangfuseError::Kind::httpStatus, {}, 500};
        return LangfusePrompt{name, version, label, "text of " + name + " v" + std::to_string(version)};
    }
    mutable std::atomic<int> requests = 0;
    std::atomic<bool> fail = false;
    std::atomic<bool> held = false;
    test::Hold hold;
    std::atomic<int> version = 1;
};

const LangfuseCredentials kCredentials{"pk", "sk", "https://registry.example"};

class LangfusePromptCacheTest : public ::testing::Test {
protected:
    std::shared_ptr<LogStore> store() { return std::make_shared<FileLogStore>(path()); }
    std::filesystem::path path() const { return dir_.path() / "langfuse-prompt-cache.json"; }
    LangfusePromptCache cache(double fetchTimeout = 3.0) {
        return LangfusePromptCache(fetcher_, 10.0, fetchTimeout, store(), clock_);
    }

    test::TempDir dir_;
    test::FixedClock clock_{at("2026-03-02T09:00:00Z")};
    std::shared_ptr<ScriptedFetcher> fetcher_ = std::make_shared<ScriptedFetcher>();
};

// A lookup that comes while the first one still reads the file waits for that read rather than
// finding nothing.
TEST_F(LangfusePromptCacheTest, EveryFirstLookupSeesThePromptsOnDisk) {
    struct SlowStore final : LogStore {
        std::optional<std::string> read() const override {
            reading = true;
            std::this_thread::sleep_for(100ms);
            return R"({"decide":{"name":"decide","version":3,"label":"production","text":"kept"}})";
        }
        std::error_code write(std::string_view) override { return {}; }
        mutable std::atomic<bool> reading = false;
    };
    auto store = std::make_shared<SlowStore>();
    LangfusePromptCache c(fetcher_, 10.0, 3.0, store, clock_);
    std::optional<LangfusePrompt> first;
    std::thread firstLookup([&] { first = c.getPrompt("decide", "production", std::nullopt); });
    while (!store->reading)
        std::this_thread::sleep_for(1ms);
    const auto second = c.getPrompt("decide", "production", std::nullopt);
    firstLookup.join();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->text, "kept");
    EXPECT_EQ(first, second);
}

TEST_F(LangfusePromptCacheTest, ServesFromMemoryWithinTheTtlWhateverTheLabel) {
    auto c = cache();
    auto first = c.getPrompt("decide", "production", kCredentials);
    ASSERT_TRUE(first);
    clock_.advance(5);
    EXPECT_EQ(c.getPrompt("decide", "staging", kCredentials), first);
    EXPECT_EQ(fetcher_->requests, 1);

    clock_.advance(6);
    fetcher_->fail = true;
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials), first);
    EXPECT_EQ(fetcher_->requests, 2);
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials), first);
    EXPECT_EQ(fetcher_->requests, 3) << "a failed fetch is not remembered";

    clock_.advance(-3600);
    fetcher_->fail = false;
    fetcher_->version = 2;
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials), first) << "a clock set back keeps it fresh";
}

TEST_F(LangfusePromptCacheTest, KeepsTheLastGoodPromptsOnDiskForTheNextStart) {
    cache().getPrompt("decide", "production", kCredentials);
    cache().getPrompt("reflect", "production", kCredentials);
    struct stat info {};
    ASSERT_EQ(::stat(path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);

    fetcher_->fail = true;
    auto restarted = cache();
    EXPECT_EQ(restarted.getPrompt("decide", "production", std::nullopt)->text, "text of decide v1");
    EXPECT_EQ(restarted.getPrompt("reflect", "production", kCredentials)->text, "text of reflect v1");
    EXPECT_FALSE(restarted.getPrompt("other", "production", kCredentials));
    EXPECT_EQ(fetcher_->requests, 4) << "no request is made without credentials";
}

TEST_F(LangfusePromptCacheTest, APromptFetchedInThisProcessWinsOverTheFile) {
    test::writeFile(path(),
                    R"({"decide":{"name":"decide","version":9,"label":"production","text":"from file"}})");
    fetcher_->version = 3;
    auto c = cache();
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials)->text, "text of decide v3");
    fetcher_->fail = true;
    clock_.advance(60);
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials)->text, "text of decide v3");
}

TEST_F(LangfusePromptCacheTest, ABrokenFileIsIgnoredWholeAndRewrittenOnTheNextSuccess) {
    test::writeFile(path(), R"({"decide":{"name":"decide","version":9,"label":"production","text":"ok"},
                                "reflect":{"name":"reflect","label":"production","text":"no version"}})");
    auto c = cache();
    EXPECT_FALSE(c.getPrompt("decide", "production", std::nullopt));
    EXPECT_TRUE(c.getPrompt("reflect", "production", kCredentials));
    auto onDisk = nlohmann::json::parse(test::readFile(path()));
    EXPECT_EQ(onDisk.size(), 1u);
    EXPECT_TRUE(onDisk.contains("reflect"));
}

TEST_F(LangfusePromptCacheTest, ASlowRegistryLosesTheRaceAndItsLatePromptIsNotKept) {
    auto c = cache(0.1);
    EXPECT_TRUE(c.getPrompt("decide", "production", kCredentials));
    clock_.advance(30);
    fetcher_->held = true;
    fetcher_->version = 2;
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials)->text, "text of decide v1");
    EXPECT_FALSE(fetcher_->hold.gaveUp()) << "the lookup waited for the registry";
    fetcher_->held = false;
    fetcher_->fail = true;
    EXPECT_EQ(c.getPrompt("decide", "production", kCredentials)->text, "text of decide v1");
}

TEST_F(LangfusePromptCacheTest, ConcurrentFetchesOfDifferentPromptsAllReachTheFile) {
    auto c = cache();
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back(
            [&c, i] { c.getPrompt("prompt-" + std::to_string(i), "production", kCredentials); });
    }
    for (auto& t : threads)
        t.join();
    auto onDisk = nlohmann::json::parse(test::readFile(path()));
    EXPECT_EQ(onDisk.size(), 8u);
}

TEST_F(LangfusePromptCacheTest, WorksAgainstARealRegistryOverHttp) {
    test::LocalHttpServer registry;
    registry.server().Get(
        R"(/api/public/v2/prompts/(.+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(
                nlohmann::json({{"prompt", "served " + std::string(req.matches[1])}, {"version", 5}}).dump(),
                "application/json");
        });
    registry.start();
    LangfusePromptCache c(std::make_shared<HttpLangfusePromptFetcher>(std::make_shared<CurlHttpFetcher>()),
                          10.0, 3.0, store(), clock_);
    LangfuseCredentials local{"pk", "sk", registry.baseURL()};
    EXPECT_EQ(c.getPrompt("decide", "production", local),
              (LangfusePrompt{"decide", 5, "production", "served decide"}));
    registry.stop();
    clock_.advance(20);
    EXPECT_EQ(c.getPrompt("decide", "production", local)->text, "served decide");
}

}  // namespace
}  // namespace quillfen
