#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Support/HttpFetcher.h"
#include "Support/TimeoutRace.h"
#include "support/LocalHttpServer.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;

double elapsedSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(CurlHttpFetcher, ReturnsStatusAndBodyAndSendsHeaders) {
    test::LocalHttpServer local;
    std::string seenHeader, seenQuery;
    local.server().Get("/api/thing", [&](const httplib::Request& req, httplib::Response& res) {
        seenHeader = req.get_header_value("Authorization");
        seenQuery = req.get_param_value("place");
        res.status = 203;
        res.set_content("{\"ok\":true}", "application/json");
    });
    local.start();

    CurlHttpFetcher fetcher;
    HttpRequest request{local.baseURL() + "/api/thing?place=" + percentEncodeQueryValue("New York & Co"),
                        {{"Authorization", "Basic abc"}},
                        2.0};
    auto result = fetcher.get(request, {});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(result));
    EXPECT_EQ(std::get<HttpResponse>(result).status, 203);
    EXPECT_EQ(std::get<HttpResponse>(result).body, "{\"ok\":true}");
    EXPECT_EQ(seenHeader, "Basic abc");
    EXPECT_EQ(seenQuery, "New York & Co");
}

TEST(CurlHttpFetcher, FailsOnRefusedConnectionsOversizedBodiesAndHungServers) {
    CurlHttpFetcher fetcher;
    // Nothing listens on port 1 of the loopback address.
    auto refused = fetcher.get({"http://127.0.0.1:1/", {}, 1.0}, {});
    ASSERT_TRUE(std::holds_alternative<HttpFailure>(refused));
    EXPECT_EQ(std::get<HttpFailure>(refused).kind, HttpFailure::Kind::transport);

    test::LocalHttpServer local;
    local.server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(64 * 1024, 'x'), "text/plain");
    });
    local.server().Get("/slow", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(400ms);
        res.set_content("late", "text/plain");
    });
    local.start();

    HttpRequest big{local.baseURL() + "/big", {}, 2.0, 1000};
    auto tooLarge = fetcher.get(big, {});
    ASSERT_TRUE(std::holds_alternative<HttpFailure>(tooLarge));
    EXPECT_EQ(std::get<HttpFailure>(tooLarge).kind, HttpFailure::Kind::bodyTooLarge);

    auto start = std::chrono::steady_clock::now();
    auto slow = fetcher.get({local.baseURL() + "/slow", {}, 0.15}, {});
    EXPECT_LT(elapsedSince(start), 0.35);
    ASSERT_TRUE(std::holds_alternative<HttpFailure>(slow));
    EXPECT_EQ(std::get<HttpFailure>(slow).kind, HttpFailure::Kind::timedOut);

    auto other = fetcher.get({"file:///etc/passwd", {}, 1.0}, {});
    EXPECT_TRUE(std::holds_alternative<HttpFailure>(other));
}

TEST(TimeoutRace, TheFirstToFinishDecides) {
    auto quick = raceAgainstTimeout<int>(1.0, [](std::stop_token) { return 7; });
    EXPECT_EQ(quick, 7);

    auto start = std::chrono::steady_clock::now();
    bool sawStop = false;
    auto late = raceAgainstTimeout<int>(0.1, [&](std::stop_token stop) {
        while (!stop.stop_requested())
            std::this_thread::sleep_for(5ms);
        sawStop = true;
        return 1;
    });
    EXPECT_FALSE(late);
    EXPECT_TRUE(sawStop);
    EXPECT_LT(elapsedSince(start), 0.3);

    EXPECT_THROW(
        raceAgainstTimeout<int>(1.0, [](std::stop_token) -> int { throw std::runtime_error("boom"); }),
        std::runtime_error);
}

}  // namespace
}  // namespace quillfen
