#include "Log/SignalLog.h"

#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

SignalSample loggedSample(TimePoint t, double activeSeconds = 60, double localHour = 12) {
    SignalSample s;
    s.timestamp = t;
    s.continuousActiveSeconds = activeSeconds;
    s.appSwitchesLastHour = 4;
    s.localHour = localHour;
    return s;
}

std::vector<TimePoint> stamps(const std::vector<SignalSample>& samples) {
    std::vector<TimePoint> out;
    for (const auto& s : samples)
        out.push_back(s.timestamp);
    return out;
}

class SignalLogTest : public ::testing::Test {
protected:
    std::unique_ptr<SignalLog> open(int retentionDays = 14) {
        return std::make_unique<SignalLog>(std::make_shared<FileLogStore>(file), retentionDays, clock);
    }
    nlohmann::json fileJson() { return nlohmann::json::parse(test::readFile(file)); }

    test::TestHome home;
    std::filesystem::path file = home.dataDirectory() / "signal-log.json";
    test::FixedClock clock{at("2026-01-15T12:00:00Z")};

    void SetUp() override { std::filesystem::create_directories(home.dataDirectory()); }
};

TEST_F(SignalLogTest, StartsEmptyAndCreatesTheFileForItsOwnerOnly) {
    auto log = open();
    EXPECT_TRUE(log->all().empty());
    EXPECT_EQ(test::readFile(file), "[]");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SignalLogTest, WritesSamplesWithSortedKeysAndWholeSecondDates) {
    auto log = open();
    auto s = loggedSample(at("2026-01-15T11:59:00Z"));
    s.titleChurnPerHour = 2.5;
    s.displayState = DisplayState::displayAsleep;
    log->append(s);
    EXPECT_EQ(test::readFile(file),
              R"([{"appSwitchesLastHour":4,"continuousActiveSeconds":60.0,"displayState":"displayAsleep",)"
              R"("localHour":12.0,"secondsSinceLastInput":0.0,"timestamp":"2026-01-15T11:59:00Z",)"
              R"("titleChurnPerHour":2.5}])");
    EXPECT_EQ(open()->all(), std::vector<SignalSample>{s});
}

TEST_F(SignalLogTest, UndecodableFileIsMovedAsideAndTheLogStartsEmpty) {
    const char* contents[] = {
        R"([{"timestamp":"2026-01-15T11:00:00Z","continuousActiveSeconds":1,"appSwitchesLastHour":0,)"
        R"("secondsSinceLastInput":0,"localHour":9},{"timestamp":"2026-01-15T11:01:00Z"}])",
        R"([{"timestamp":"2026-01-15T11:00:00.5Z","continuousActiveSeconds":1,"appSwitchesLastHour":0,)"
        R"("secondsSinceLastInput":0,"localHour":9}])",
        "{}",
        "[{",
    };
    for (const char* text : contents) {
        test::writeFile(file, text);
        auto log = open();
        EXPECT_TRUE(log->all().empty()) << text;
        EXPECT_EQ(test::readFile(file), "[]") << text;
        EXPECT_EQ(test::contentsKeptAside(file).back(), text) << "each unreadable file is kept";
    }
}

TEST_F(SignalLogTest, DropsSamplesPastTheRetentionAndKeepsTheExactCutoff) {
    // With one day's retention the cutoff is 2026-01-14T12:00:00Z.
    auto cutoff = at("2026-01-14T12:00:00Z");
    std::vector<SignalSample> stored = {loggedSample(cutoff - std::chrono::microseconds(1)),
                                        loggedSample(cutoff), loggedSample(at("2026-01-15T11:00:00Z"))};
    nlohmann::json array = nlohmann::json::array();
    for (const auto& s : stored)
        array.push_back(sampleToJson(s));
    test::writeFile(file, array.dump());

    auto log = open(1);
    EXPECT_EQ(stamps(log->all()), (std::vector<TimePoint>{cutoff, at("2026-01-15T11:00:00Z")}));
    EXPECT_EQ(fileJson().size(), 2u);
    EXPECT_EQ(stamps(log->samplesInLast(86400)), stamps(log->all()));
    EXPECT_TRUE(test::contentsKeptAside(file).empty());

    log->append(loggedSample(at("2026-01-14T11:59:59Z")));
    EXPECT_EQ(log->all().size(), 2u) << "a sample already past the retention never lands";
    EXPECT_EQ(fileJson().size(), 2u);

    clock.advance(1);
    log->append(loggedSample(at("2026-01-15T12:00:01Z")));
    EXPECT_EQ(stamps(log->all()),
              (std::vector<TimePoint>{at("2026-01-15T11:00:00Z"), at("2026-01-15T12:00:01Z")}));
}

TEST_F(SignalLogTest, ZeroRetentionKeepsOnlySamplesStampedNow) {
    auto log = open(0);
    log->append(loggedSample(at("2026-01-15T11:59:59Z")));
    EXPECT_TRUE(log->all().empty());
    log->append(loggedSample(clock.now()));
    EXPECT_EQ(log->all().size(), 1u);
}

TEST_F(SignalLogTest, KeepsAppendOrderAndSelectsByHourWithoutWrapping) {
    auto log = open();
    const double hours[] = {17.0, 9.0, 8.99, 12.5, 16.99, 23.5, 0.5};
    for (double h : hours)
        log->append(loggedSample(clock.now(), 60, h));
    auto localHours = [](const std::vector<SignalSample>& samples) {
        std::vector<double> out;
        for (const auto& s : samples)
            out.push_back(s.localHour);
        return out;
    };
    EXPECT_EQ(localHours(log->all()), (std::vector<double>(std::begin(hours), std::end(hours))));
    EXPECT_EQ(localHours(log->samplesBetweenHours(9, 17)), (std::vector<double>{9.0, 12.5, 16.99}));
    EXPECT_TRUE(log->samplesBetweenHours(22, 2).empty());
}

TEST_F(SignalLogTest, CountsLongStretchDaysInTheZoneCurrentAtTheCall) {
    auto log = open();
    // 23:30Z and 00:30Z are two UTC days but one day in New York.
    log->append(loggedSample(at("2026-01-13T23:30:00Z"), 5400));
    log->append(loggedSample(at("2026-01-14T00:30:00Z"), 7200));
    log->append(loggedSample(at("2026-01-14T01:30:00Z"), 9000));
    log->append(loggedSample(at("2026-01-15T10:00:00Z"), 5399.9));
    log->append(loggedSample(at("2026-01-05T10:00:00Z"), 9000));  // older than the week asked for
    {
        test::ScopedTimeZone tz("UTC");
        EXPECT_EQ(log->daysWithLongStretch(90, 7 * 86400), 2);
    }
    {
        test::ScopedTimeZone tz("America/New_York");
        EXPECT_EQ(log->daysWithLongStretch(90, 7 * 86400), 1);
    }
}

TEST_F(SignalLogTest, NonFiniteSampleIsNeverWrittenButStaysInMemoryUntilItAgesOut) {
    auto log = open(1);
    log->append(loggedSample(at("2026-01-15T11:00:00Z")));
    auto before = test::readFile(file);

    auto bad = loggedSample(at("2026-01-15T11:30:00Z"));
    bad.titleChurnPerHour = std::numeric_limits<double>::quiet_NaN();
    log->append(bad);
    log->append(loggedSample(at("2026-01-15T11:45:00Z"), std::numeric_limits<double>::infinity()));
    log->append(loggedSample(at("2026-01-15T11:59:00Z")));
    EXPECT_EQ(log->all().size(), 4u);
    EXPECT_EQ(test::readFile(file), before);
    EXPECT_EQ(test::readFile(file).find("null"), std::string::npos);

    // Once both have aged out the file catches up with memory.
    clock.set(at("2026-01-16T11:50:00Z"));
    log->append(loggedSample(at("2026-01-16T11:50:00Z")));
    EXPECT_EQ(stamps(log->all()),
              (std::vector<TimePoint>{at("2026-01-15T11:59:00Z"), at("2026-01-16T11:50:00Z")}));
    EXPECT_EQ(fileJson().size(), 2u);
    EXPECT_EQ(open(1)->all(), log->all());
}

TEST_F(SignalLogTest, AFailedWriteKeepsMemoryAndTheNextWriteCatchesUp) {
    auto log = open();
    log->append(loggedSample(at("2026-01-15T11:00:00Z")));
    std::filesystem::remove_all(home.dataDirectory());
    test::writeFile(home.dataDirectory(), "");  // the folder is now a plain file

    log->append(loggedSample(at("2026-01-15T11:01:00Z")));
    EXPECT_EQ(log->all().size(), 2u);

    std::filesystem::remove(home.dataDirectory());
    std::filesystem::create_directories(home.dataDirectory());
    log->append(loggedSample(at("2026-01-15T11:02:00Z")));
    EXPECT_EQ(open()->all(), log->all());
    EXPECT_EQ(log->all().size(), 3u);
}

TEST_F(SignalLogTest, AppendsFromSeveralThreadsAreAllKept) {
    auto log = open();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                log->append(loggedSample(clock.now(), t * 100 + i));
                (void)log->samplesInLast(60);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(log->all().size(), 40u);
    EXPECT_EQ(open()->all().size(), 40u);
}

}  // namespace
}  // namespace quillfen
