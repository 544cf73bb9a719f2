#include "Support/DetachedTimeoutRace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>

#include "support/Hold.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;

TEST(DetachedTimeoutRace, WorkInTimeGivesItsValueOrItsError) {
    EXPECT_EQ(raceLeavingLateWork<int>(1.0, [](std::stop_token) { return 7; }), 7);
    EXPECT_THROW(
        raceLeavingLateWork<int>(1.0, [](std::stop_token) -> int { throw std::runtime_error("boom"); }),
        std::runtime_error);
}

// The caller is answered at the deadline even by work that will not stop; the work keeps what
// it owns and ends later on its own.
TEST(DetachedTimeoutRace, LateWorkIsAskedToStopAndLeftToEndOnItsOwn) {
    auto owned = std::make_shared<std::string>("still here");
    auto hold = std::make_shared<test::Hold>();
    std::promise<std::string> ended;
    auto endedLater = ended.get_future();

    const auto result = raceLeavingLateWork<int>(
        0.05, [owned, hold,
               ended = std::make_shared<std::promise<std::string>>(std::move(ended))](std::stop_token stop) {
            hold->wait();
            ended->set_value(*owned + (stop.stop_requested() ? ", asked to stop" : ""));
            return 1;
        });
    EXPECT_EQ(result, std::nullopt);

    owned.reset();
    hold->letGo();
    ASSERT_EQ(endedLater.wait_for(test::kPatience), std::future_status::ready);
    EXPECT_FALSE(hold->gaveUp()) << "the caller was answered only when the work ended";
    EXPECT_EQ(endedLater.get(), "still here, asked to stop");
}

TEST(DetachedTimeoutRace, AnHonouringWorkerStopsWhenAsked) {
    std::atomic<bool> sawStop = false;
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    EXPECT_EQ(raceLeavingLateWork<int>(0.05,
                                       [&sawStop, done](std::stop_token stop) {
                                           while (!stop.stop_requested())
                                               std::this_thread::sleep_for(1ms);
                                           sawStop = true;
                                           done->set_value();
                                           return 1;
                                       }),
              std::nullopt);
    ASSERT_EQ(finished.wait_for(test::kPatience), std::future_status::ready);
    EXPECT_TRUE(sawStop);
}

}  // namespace
}  // namespace quillfen
