#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "Sky/FarlumeClient.h"
#include "support/Hold.h"
#include "support/LocalHttpServer.h"

namespace quillfen {
namespace {

AppConfig configWith(LocationMode mode, std::optional<std::string> place = std::nullopt,
                     std::string base = "https://sky.example") {
    AppConfig config;
    config.locationMode = mode;
    config.fixedPlace = std::move(place);
    config.farlumeBaseURL = std::move(base);
    return config;
}

TEST(FarlumeClient, BuildsTheRequestForEachLocationMode) {
    auto coarse = FarlumeClient(configWith(LocationMode::coreLocationCoarse), nullptr);
    EXPECT_EQ(coarse.buildURL(std::nullopt), "https://sky.example/api/moon?audience=facts&humanProfile=work");
    EXPECT_EQ(coarse.buildURL(CoarseLocation{52.516, -0.125}),
              "https://sky.example/api/moon?audience=facts&humanProfile=work&lat=52.52&lng=-0.13");
    EXPECT_EQ(coarse.buildURL(CoarseLocation{52.0, 13.4049}),
              "https://sky.example/api/moon?audience=facts&humanProfile=work&lat=52.0&lng=13.4");

    auto place = FarlumeClient(configWith(LocationMode::fixedPlace, "St. Ives, Cornwall"), nullptr);
    EXPECT_EQ(place.buildURL(CoarseLocation{1, 2}),
              "https://sky.example/api/moon?audience=facts&humanProfile=work&place=St.%20Ives%2C%20Cornwall");
    auto emptyPlace = FarlumeClient(configWith(LocationMode::fixedPlace, ""), nullptr);
    EXPECT_EQ(emptyPlace.buildURL(std::nullopt),
              "https://sky.example/api/moon?audience=facts&humanProfile=work");

    auto none = FarlumeClient(configWith(LocationMode::none, "Oslo", "https://sky.example/base/"), nullptr);
    EXPECT_EQ(none.buildURL(CoarseLocation{1, 2}),
              "https://sky.example/base/api/moon?audience=facts&humanProfile=work");

    EXPECT_EQ(FarlumeClient::coordinateText(52.52), "52.52");
    EXPECT_EQ(FarlumeClient::coordinateText(-3.0), "-3.0");
}

SkyTail tail(std::optional<std::string> sky, std::optional<double> temp, std::optional<std::string> air,
             std::optional<std::string> rare, std::optional<bool> day) {
    return SkyTail{std::move(sky), temp, std::move(air), std::move(rare), day};
}

TEST(FarlumeClient, InterpretsWhereverTheAnswerKeepsItsFacts) {
    const auto full = FarlumeClient::interpret(R"({
        "facts": {"fieldSnapshot": {
            "weather": {"current": {"condition": "Clear", "temperatureC": 12, "airQualityCategory": "Good", "usAqi": 20}},
            "astronomy": {"isDay": false, "primaryEvent": {"name": "Perseids"}}}}})");
    EXPECT_EQ(full, SkyVerdict::rare(tail("Clear", 12.0, "Good", "Perseids", false)));

    const auto topLevel = FarlumeClient::interpret(R"({
        "weather": {"current": {"skyCondition": "Partly cloudy", "condition": "ignored", "temperatureC": 12.0}},
        "astronomy": {"isDay": true, "primaryEvent": {"name": ""}}})");
    EXPECT_EQ(topLevel, SkyVerdict::worthIt(tail("Partly cloudy", 12.0, std::nullopt, std::nullopt, true)));

    const auto weatherIsCurrent =
        FarlumeClient::interpret(R"({"weather": {"condition": "Mist", "temperatureC": "9"}})");
    EXPECT_EQ(weatherIsCurrent,
              SkyVerdict::worthIt(tail("Mist", std::nullopt, std::nullopt, std::nullopt, std::nullopt)));

    EXPECT_EQ(FarlumeClient::interpret("{}"), SkyVerdict::worthIt(SkyTail{}));
    EXPECT_EQ(FarlumeClient::interpret(R"({"silent": false})"), SkyVerdict::worthIt(SkyTail{}));
}

TEST(FarlumeClient, UnknownForSilenceJunkAndABadOutside) {
    for (const char* body : {
             R"({"silent": true, "weather": {"condition": "Clear"}})",
             "[1, 2]",
             "42",
             "not json",
             "",
             R"({"weather": {"usAqi": 150}})",
             R"({"weather": {"airQualityCategory": "Unhealthy for Sensitive Groups"}})",
             R"({"weather": {"condition": "Light SNOW showers"}})",
             R"({"weather": {"skyCondition": "Thunderstorms"}})",
             R"({"weather": {"skyCondition": "Heavy rain"}})",
         }) {
        EXPECT_EQ(FarlumeClient::interpret(body), SkyVerdict::unknown()) << body;
    }
    EXPECT_NE(FarlumeClient::interpret(R"({"weather": {"usAqi": 149.9, "airQualityCategory": "Moderate"}})"),
              SkyVerdict::unknown());
}

TEST(FarlumeClient, AsksTheServiceOnceAndGivesUpOnTime) {
    test::Hold slowAnswer;
    // The server answers on threads of its own, a slow answer still running beside the next: what
    // they write outlives the server, which ends them.
    std::atomic<int> requests = 0;
    std::mutex seenMutex;
    std::string seenQuery;
    test::LocalHttpServer local;
    local.server().Get("/api/moon", [&](const httplib::Request& req, httplib::Response& res) {
        ++requests;
        {
            std::lock_guard lock(seenMutex);
            seenQuery = req.get_param_value("lat") + "," + req.get_param_value("lng");
        }
        const auto mode = req.get_param_value("humanProfile");
        if (req.has_param("place")) {
            const auto place = req.get_param_value("place");
            if (place == "slow") slowAnswer.wait();
            if (place == "teapot") res.status = 204;
            if (place == "huge") {
                res.set_content(std::string(2 << 20, ' ') + "{}", "application/json");
                return;
            }
        }
        res.set_content(R"({"weather": {"condition": "Clear"}})", "application/json");
    });
    local.start();
    auto fetcher = std::make_shared<CurlHttpFetcher>();

    auto config = configWith(LocationMode::coreLocationCoarse, std::nullopt, local.baseURL());
    EXPECT_EQ(FarlumeClient(config, fetcher).skyCheck(CoarseLocation{48.85661, 2.35222}),
              SkyVerdict::worthIt(tail("Clear", std::nullopt, std::nullopt, std::nullopt, std::nullopt)));
    EXPECT_EQ(requests, 1);
    {
        std::lock_guard lock(seenMutex);
        EXPECT_EQ(seenQuery, "48.86,2.35");
    }

    auto placed = [&](const char* place) {
        auto c = configWith(LocationMode::fixedPlace, place, local.baseURL());
        c.skyCheckTimeout = 0.15;
        return FarlumeClient(c, fetcher).skyCheck(std::nullopt);
    };
    EXPECT_EQ(placed("slow"), SkyVerdict::unknown());
    slowAnswer.letGo();
    EXPECT_FALSE(slowAnswer.gaveUp()) << "the check waited for the answer";
    EXPECT_EQ(placed("teapot"), SkyVerdict::unknown());
    EXPECT_EQ(placed("huge"), SkyVerdict::unknown());

    auto refused = configWith(LocationMode::none, std::nullopt, "http://127.0.0.1:1");
    EXPECT_EQ(FarlumeClient(refused, fetcher).skyCheck(std::nullopt), SkyVerdict::unknown());
}

}  // namespace
}  // namespace quillfen
