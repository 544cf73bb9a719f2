#include <gtest/gtest.h>

#include "Support/HttpFetcher.h"
#include "Support/TimeoutRace.h"
#include "support/Hold.h"
#include "support/LocalHttpServer.h"

namespace quillfen {
namespace {

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

    // Made before the server, so that it outlives the handler that waits on it.
    test::Hold answer;
    test::LocalHttpServer local;
    local.server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(64 * 1024, 'x'), "text/plain");
    });
    local.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        answer.wait();
        res.set_content("late", "text/plain");
    });
    local.start();

    HttpRequest big{local.baseURL() + "/big", {}, 2.0, 1000};
    auto tooLarge = fetcher.get(big, {});
    ASSERT_TRUE(std::holds_alternative<HttpFailure>(tooLarge));
    EXPECT_EQ(std::get<HttpFailure>(tooLarge).kind, HttpFailure::Kind::bodyTooLarge);

    auto slow = fetcher.get({local.baseURL() + "/slow", {}, 0.15}, {});
    answer.letGo();
    EXPECT_FALSE(answer.gaveUp()) << "the fetch waited for the answer";
    ASSERT_TRUE(std::holds_alternative<HttpFailure>(slow));
    EXPECT_EQ(std::get<HttpFailure>(slow).kind, HttpFailure::Kind::timedOut);

    auto other = fetcher.get({"file:///etc/passwd", {}, 1.0}, {});
    EXPECT_TRUE(std::holds_alternative<HttpFailure>(other));
}

TEST(TimeoutRace, TheFirstToFinishDecides) {
    auto quick = raceAgainstTimeout<int>(1.0, [](std::stop_token) { return 7; });
    EXPECT_EQ(quick, 7);

    // Never let go: only the race's request to stop ends the wait in time.
    const test::Hold work;
    bool sawStop = false;
    auto late = raceAgainstTimeout<int>(0.1, [&](std::stop_token stop) {
        sawStop = work.wait(stop);
        return 1;
    });
    EXPECT_FALSE(late);
    EXPECT_TRUE(sawStop);

    EXPECT_THROW(
        raceAgainstTimeout<int>(1.0, [](std::stop_token) -> int { throw std::runtime_error("boom"); }),
        std::runtime_error);
}

}  // namespace
}  // namespace quillfen
