#include "Feedback/NudgeOutcomeTracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "Log/FileLogStore.h"
#include "Support/Iso8601.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

const NudgeOutcomeTracker::CurrentRhythmScore kNoScore = [] { return std::optional<double>(); };
const NudgeOutcomeTracker::SamplesSince kNoSamples = [](TimePoint) { return std::vector<SignalSample>{}; };

class NudgeOutcomeTrackerTest : public ::testing::Test {
protected:
    std::unique_ptr<NudgeOutcomeTracker> open(int historyLimit = 20) {
        return std::make_unique<NudgeOutcomeTracker>(std::make_shared<FileLogStore>(file), clock,
                                                     NudgeOutcomeThresholds::defaults(), historyLimit);
    }
    std::string history(const std::vector<std::string>& items) {
        std::string text = R"({"history":[)";
        for (std::size_t i = 0; i < items.size(); ++i)
            text += (i ? "," : "") + items[i];
        return text + R"(],"pending":[]})";
    }

    test::ScopedTimeZone tz{"Europe/Berlin"};
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "nudge-outcomes.json";
    test::FixedClock clock{at("2026-01-05T14:00:00Z")};  // 15:00 in Berlin
};

TEST_F(NudgeOutcomeTrackerTest, KeepsFiresAnswersAndOutcomesAsSortedIsoJson) {
    auto tracker = open();
    tracker->recordFire(0.42);
    EXPECT_EQ(test::readFile(file),
              R"({"history":[],"pending":[{"firedAt":"2026-01-05T14:00:00Z","rhythmScoreAtFire":0.42}]})");

    clock.advance(5);
    tracker->markLatestExplicit(false);
    EXPECT_EQ(test::readFile(file),
              R"({"history":[],"pending":[{"explicitlyStepped":false,"firedAt":"2026-01-05T14:00:00Z",)"
              R"("rhythmScoreAtFire":0.42}]})");
    tracker->markLatestExplicit(true);

    clock.advance(5);
    const auto resolved = tracker->resolveReady(kNoSamples, kNoScore);
    EXPECT_EQ(resolved, (std::vector<ResolvedNudgeOutcome>{
                            {at("2026-01-05T14:00:10Z"), PartOfDay::afternoon, NudgeOutcome::landed}}));
    EXPECT_EQ(
        test::readFile(file),
        R"({"history":[{"outcome":"landed","partOfDay":"afternoon","resolvedAt":"2026-01-05T14:00:10Z"}],)"
        R"("pending":[]})");

    tracker->recordFire(0.3);
    auto reopened = open();
    EXPECT_EQ(reopened->recentOutcomes(5), std::vector<NudgeOutcome>{NudgeOutcome::landed});
    clock.advance(1500);
    EXPECT_EQ(reopened->resolveReady(kNoSamples, kNoScore).size(), 1u) << "the pending fire came back too";
}

TEST_F(NudgeOutcomeTrackerTest, JudgesAFireFromItsOwnSamplesOnceTheWindowHasPassed) {
    auto tracker = open();
    int calls = 0;
    auto untouched = [&](TimePoint) {
        ++calls;
        return std::vector<SignalSample>{};
    };
    EXPECT_TRUE(tracker
                    ->resolveReady(untouched,
                                   [&] {
                                       ++calls;
                                       return std::optional<double>(0.5);
                                   })
                    .empty());
    EXPECT_EQ(calls, 0) << "nothing pending: neither function is called";
    EXPECT_FALSE(std::filesystem::exists(file));

    const TimePoint firstFire = clock.now();
    tracker->recordFire(0.8);
    clock.advance(100);
    tracker->recordFire(0.8);

    std::vector<TimePoint> asked;
    auto samplesSince = [&](TimePoint since) {
        asked.push_back(since);
        SignalSample away;
        away.timestamp = addSeconds(firstFire, 400);
        away.secondsSinceLastInput = 300;  // began 100 s after the first fire, with the second
        return std::vector<SignalSample>{away};
    };
    clock.set(addSeconds(firstFire, 1499));
    EXPECT_TRUE(tracker->resolveReady(samplesSince, kNoScore).empty());
    EXPECT_EQ(asked, (std::vector<TimePoint>{firstFire, addSeconds(firstFire, 100)}));

    clock.set(addSeconds(firstFire, 1500));
    const auto resolved = tracker->resolveReady(samplesSince, kNoScore);
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].outcome, NudgeOutcome::landed);

    clock.advance(100);
    EXPECT_EQ(tracker->resolveReady(samplesSince, kNoScore)[0].outcome, NudgeOutcome::landed);
    EXPECT_EQ(tracker->recentOutcomes(5),
              (std::vector<NudgeOutcome>{NudgeOutcome::landed, NudgeOutcome::landed}));
}

TEST_F(NudgeOutcomeTrackerTest, KeepsTheNewestOutcomesUpToTheLimit) {
    std::vector<std::string> items;
    for (int daysAgo = 20; daysAgo >= 1; --daysAgo) {
        items.push_back(R"({"outcome":"ignored","partOfDay":"morning","resolvedAt":")" +
                        Iso8601::format(addSeconds(clock.now(), -86400.0 * daysAgo)) + R"("})");
    }
    test::writeFile(file, history(items));
    auto tracker = open();
    for (int i = 0; i < 3; ++i)
        tracker->recordFire(0.5);
    clock.advance(1500);
    EXPECT_EQ(tracker->resolveReady(kNoSamples, kNoScore).size(), 3u);

    const auto responses = tracker->recentResponses(100);
    ASSERT_EQ(responses.size(), 20u);
    EXPECT_EQ(responses.front().outcome, NudgeOutcome::unknown);
    EXPECT_EQ(responses[3].outcome, NudgeOutcome::ignored);
    EXPECT_EQ(responses.back().daysAgo, 17) << "the three oldest went";
    EXPECT_EQ(tracker->recentOutcomes(2),
              (std::vector<NudgeOutcome>{NudgeOutcome::unknown, NudgeOutcome::unknown}));
    EXPECT_TRUE(tracker->recentOutcomes(0).empty());
}

TEST_F(NudgeOutcomeTrackerTest, PartOfDayIsThatOfTheLocalHourOfTheFire) {
    const struct {
        const char* fire;
        PartOfDay expected;
    } cases[] = {
        {"2026-01-05T19:59:00Z", PartOfDay::evening},  // 20:59 in Berlin
        {"2026-01-05T20:00:00Z", PartOfDay::night},
        {"2026-01-06T04:59:00Z", PartOfDay::night},
        {"2026-01-06T05:00:00Z", PartOfDay::morning},
    };
    for (const auto& c : cases) {
        auto tracker = open();
        clock.set(at(c.fire));
        tracker->recordFire(0.5);
        tracker->markLatestExplicit(true);
        clock.advance(3600 * 5);
        const auto resolved = tracker->resolveReady(kNoSamples, kNoScore);
        ASSERT_EQ(resolved.size(), 1u) << c.fire;
        EXPECT_EQ(resolved[0].partOfDay, c.expected) << c.fire;
    }
}

TEST_F(NudgeOutcomeTrackerTest, ResponsesCountWholeDaysAndTakeOnlyLandedOnes) {
    auto resolvedAt = [&](double hoursAgo) {
        return Iso8601::format(addSeconds(clock.now(), -3600 * hoursAgo));
    };
    test::writeFile(
        file, history({
                  R"({"outcome":"ignored","partOfDay":"night","resolvedAt":")" + resolvedAt(47) + R"("})",
                  R"({"outcome":"unknown","partOfDay":"evening","resolvedAt":")" + resolvedAt(24) + R"("})",
                  R"({"outcome":"landed","partOfDay":"afternoon","resolvedAt":")" + resolvedAt(-5) + R"("})",
              }));
    const auto responses = open()->recentResponses(5);
    using R = AgentContext::NudgeResponse;
    EXPECT_EQ(responses, (std::vector<R>{{0, PartOfDay::afternoon, NudgeOutcome::landed},
                                         {1, PartOfDay::evening, NudgeOutcome::unknown},
                                         {1, PartOfDay::night, NudgeOutcome::ignored}}));
    EXPECT_TRUE(responses[0].taken());
    EXPECT_FALSE(responses[1].taken());
}

// Found by fuzzing: an outcome stored as resolved in 1703 overflowed its age in days.
TEST_F(NudgeOutcomeTrackerTest, AnOutcomeFromCenturiesAgoCountsItsDays) {
    test::writeFile(
        file,
        history({R"({"outcome":"ignored","partOfDay":"morning","resolvedAt":"1703-01-03T10:00:00Z"})"}));
    EXPECT_EQ(
        open()->recentResponses(5),
        (std::vector<AgentContext::NudgeResponse>{{117'976, PartOfDay::morning, NudgeOutcome::ignored}}));
}

TEST_F(NudgeOutcomeTrackerTest, AnAnswerWithNothingPendingWritesNothing) {
    open()->markLatestExplicit(true);
    EXPECT_FALSE(std::filesystem::exists(file));

    const std::string kept = history({});
    test::writeFile(file, kept);
    open()->markLatestExplicit(false);
    EXPECT_EQ(test::readFile(file), kept);
}

TEST_F(NudgeOutcomeTrackerTest, AnUnreadableFileStartsEmptyAndIsKeptAsideBeforeTheFirstWrite) {
    for (
        const std::string& text : std::vector<std::string>{
            std::string(R"({"pending":[]})"),
            std::string(
                R"({"history":[],"pending":[{"firedAt":"2026-01-05 14:00","rhythmScoreAtFire":0.4}]})"),
            std::string(
                R"({"history":[{"outcome":"maybe","partOfDay":"night","resolvedAt":"2026-01-05T14:00:00Z"}],"pending":[]})"),
            std::string(R"({"history":{},"pending":[]})"),
            std::string("[]"),
            std::string("{\"history\":[],\"pen"),
        }) {
        test::removeCopiesKeptAside(file);
        test::writeFile(file, text);
        auto tracker = open();
        EXPECT_TRUE(tracker->recentOutcomes(5).empty()) << text;
        EXPECT_TRUE(tracker->resolveReady(kNoSamples, kNoScore).empty()) << text;
        EXPECT_EQ(test::readFile(file), text) << "nothing written at load";

        tracker->recordFire(0.5);
        EXPECT_EQ(test::contentsKeptAside(file), std::vector<std::string>{text});
        EXPECT_EQ(test::readFile(file),
                  R"({"history":[],"pending":[{"firedAt":"2026-01-05T14:00:00Z","rhythmScoreAtFire":0.5}]})");
        tracker->markLatestExplicit(true);
        EXPECT_EQ(test::contentsKeptAside(file).size(), 1u) << "only the first write moves the file aside";
    }
}

TEST_F(NudgeOutcomeTrackerTest, AScoreThatIsNotANumberIsNeverWrittenAsNull) {
    auto tracker = open();
    tracker->recordFire(0.5);
    const std::string before = test::readFile(file);
    tracker->recordFire(std::numeric_limits<double>::quiet_NaN());
    tracker->recordFire(std::numeric_limits<double>::infinity());
    EXPECT_EQ(test::readFile(file), before);

    clock.advance(1500);
    EXPECT_EQ(tracker->resolveReady(kNoSamples, [] { return std::optional<double>(0.1); }).size(), 3u)
        << "memory stays authoritative";
    EXPECT_EQ(test::readFile(file).find("null"), std::string::npos);
    EXPECT_EQ(open()->recentOutcomes(5).size(), 3u);
}

TEST_F(NudgeOutcomeTrackerTest, CallsFromSeveralThreadsEachRunWhole) {
    auto tracker = open(1000);
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                tracker->recordFire(0.5);
                tracker->markLatestExplicit(i % 2 == 0);
                (void)tracker->recentResponses(5);
            }
        });
    }
    threads.clear();
    clock.advance(1500);
    EXPECT_EQ(open(1000)->resolveReady(kNoSamples, kNoScore).size(), 100u);
}

}  // namespace
}  // namespace quillfen
