#include "Log/HeartbeatLiveness.h"

#include <gtest/gtest.h>

#include "Log/FileLogStore.h"
#include "Support/Iso8601.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using Freshness = HeartbeatLiveness::Freshness;

class HeartbeatLivenessTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "heartbeat.json";
    test::FixedClock clock{at("2026-01-05T14:00:00Z")};
    HeartbeatLiveness liveness{std::make_shared<FileLogStore>(file), 900, clock};
};

TEST_F(HeartbeatLivenessTest, NeverHeardWithoutAReadableHeartbeat) {
    const char* contents[] = {
        nullptr,
        R"({"lastTickAt":"2026-01-05T13:59:00.5Z"})",
        R"({"lastTick":"2026-01-05T13:59:00Z"})",
        R"({"lastTickAt":789000000})",
        "not json",
    };
    for (const char* text : contents) {
        if (text) test::writeFile(file, text);
        EXPECT_EQ(liveness.freshness(), Freshness::neverHeard()) << (text ? text : "no file");
        EXPECT_TRUE(liveness.isStale());
        EXPECT_FALSE(liveness.lastTickAt());
    }
}

TEST_F(HeartbeatLivenessTest, TheFirstTickKeepsAsideAHeartbeatThatDoesNotDecode) {
    const struct {
        const char* text;
        bool keptAside;
    } cases[] = {
        {R"({"lastTickAt":"2026-01-05T13:59:00Z"})", false},
        {R"({"lastTick":"2026-01-05T13:59:00Z"})", true},
        {"[{},{},{}]", true},
    };
    for (const auto& c : cases) {
        test::removeCopiesKeptAside(file);
        test::writeFile(file, c.text);
        HeartbeatLiveness fresh{std::make_shared<FileLogStore>(file), 900, clock};
        fresh.recordTick();
        fresh.recordTick();
        EXPECT_EQ(test::contentsKeptAside(file),
                  c.keptAside ? std::vector<std::string>{c.text} : std::vector<std::string>{})
            << c.text;
        EXPECT_EQ(fresh.lastTickAt(), clock.now());
    }
}

// A tick stamped centuries ago overflowed its age.
TEST_F(HeartbeatLivenessTest, ATickFromCenturiesAgoIsStale) {
    test::writeFile(file, R"({"lastTickAt":"1700-01-01T00:00:00Z"})");
    EXPECT_EQ(liveness.freshness().kind, Freshness::Kind::stale);
    EXPECT_NEAR(liveness.freshness().secondsAgo, 10'287'957'600.0, 1e-3);
    test::writeFile(file, R"({"lastTickAt":"2250-01-01T00:00:00Z"})");
    EXPECT_EQ(liveness.freshness().kind, Freshness::Kind::fresh) << "a tick later than now is fresh";
}

TEST_F(HeartbeatLivenessTest, JudgesTheAgeOfTheLastTickAgainstTheLimit) {
    liveness.recordTick();
    EXPECT_EQ(test::readFile(file), R"({"lastTickAt":"2026-01-05T14:00:00Z"})");
    auto tick = at("2026-01-05T14:00:00Z");
    struct Case {
        TimePoint reference;
        Freshness expected;
    };
    const Case cases[] = {
        {tick, Freshness::fresh(0)},
        {tick + std::chrono::seconds(900), Freshness::fresh(900)},
        {tick + std::chrono::milliseconds(900500), Freshness::stale(900.5)},
        {tick - std::chrono::seconds(30), Freshness::fresh(-30)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(liveness.freshness(c.reference), c.expected) << Iso8601::format(c.reference);
        EXPECT_EQ(liveness.isStale(c.reference), c.expected.kind == Freshness::Kind::stale);
    }
}

TEST_F(HeartbeatLivenessTest, UsesTheClockOnlyWithoutAReferenceDate) {
    int calls = 0;
    HeartbeatLiveness counted(std::make_shared<FileLogStore>(file), 900, [&] {
        ++calls;
        return clock.now();
    });
    counted.recordTick();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(counted.freshness(at("2026-01-05T14:20:00Z")), Freshness::stale(1200));
    EXPECT_EQ(calls, 1);
    clock.advance(61);
    EXPECT_EQ(counted.freshness(), Freshness::fresh(61));
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace quillfen
