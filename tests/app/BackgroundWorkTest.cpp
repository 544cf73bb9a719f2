#include "BackgroundWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/CapturedSystemLog.h"
#include "support/Hold.h"
#include "support/QtTestSupport.h"
#include "support/ThreadShortage.h"

namespace quillfen {
namespace {

TEST(BackgroundWork, HandsEachResultBackOnItsOwnThreadInTheOrderTheJobsFinish) {
    BackgroundWork work;
    std::atomic<bool> releaseFirst{false}, releaseSecond{false};
    std::vector<int> results;
    bool onOwnThread = true;
    const auto self = std::this_thread::get_id();
    auto job = [](std::atomic<bool>& release, int value) {
        return std::function<int(std::stop_token)>([&release, value](std::stop_token) {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return value;
        });
    };
    auto done = std::function<void(int)>([&](int value) {
        onOwnThread = onOwnThread && std::this_thread::get_id() == self;
        results.push_back(value);
    });
    work.run<int>("the first job", job(releaseFirst, 1), done);
    work.run<int>("the second job", job(releaseSecond, 2), done);
    releaseSecond = true;
    ASSERT_TRUE(test::spinUntil([&] { return results.size() == 1; }));
    releaseFirst = true;
    ASSERT_TRUE(test::spinUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<int>{2, 1}));
    EXPECT_TRUE(onOwnThread);
    EXPECT_EQ(work.running(), 0u);
}

TEST(BackgroundWork, AtQuitJobsAreAskedToStopAndOneThatWillNotIsGivenUpAfterTheGrace) {
    // Shared with the job, which may outlive the test.
    auto stubborn = std::make_shared<test::Hold>();
    int delivered = 0;
    {
        BackgroundWork work;
        work.run<int>(
            "a job that stops", [](std::stop_token stop) {
                while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return 1;
            },
            [&](int) { ++delivered; });
        EXPECT_TRUE(work.stopAll(std::chrono::milliseconds(1000)));

        BackgroundWork other;
        other.run<int>(
            "a job that will not",
            [stubborn](std::stop_token) {
                stubborn->wait();
                return 2;
            },
            [&](int) { ++delivered; });
        EXPECT_FALSE(other.stopAll(std::chrono::milliseconds(100)));
    }
    stubborn->letGo();
    EXPECT_FALSE(stubborn->gaveUp()) << "the quit waited for the job";
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(delivered, 0) << "nothing is handed back after the quit";
}

// A machine short of threads: the job is skipped, its result never comes, the first refusal of
// each kind of job is one log line, and the next occasion, with threads to be had, runs it.
TEST(BackgroundWork, AJobWithoutAThreadIsSkippedAndRunsAtItsNextOccasion) {
    if (!test::canRunShortOfThreads()) GTEST_SKIP() << "no process limit binds this user";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto shortOfThreads = [] {
        const auto liftLimit = test::runShortOfThreads();
        test::CapturedSystemLog log;
        BackgroundWork work;
        std::string seen;
        auto done = std::function<void(int)>([&](int value) { seen += " done " + std::to_string(value); });
        auto job = [](int value) {
            return std::function<int(std::stop_token)>([value](std::stop_token) { return value; });
        };
        for (const char* kind : {"the tick", "the tick", "the sky check"})
            seen += work.run<int>(kind, job(1), done) ? " started" : " skipped";
        test::spinFor(std::chrono::milliseconds(50));
        seen += " running " + std::to_string(work.running());
        liftLimit();
        seen += work.run<int>("the tick", job(2), done) ? " started" : " skipped";
        test::spinUntil([&] { return work.running() == 0; });
        test::spinFor(std::chrono::milliseconds(20));
        for (const auto& line : log.lines) seen += " | " + line.substr(0, line.find(" ("));
        test::exitSeeing(seen, " skipped skipped skipped running 0 started done 2 | threads: no thread for the tick"
                               " | threads: no thread for the sky check");
    };
    EXPECT_EXIT(shortOfThreads(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quillfen
