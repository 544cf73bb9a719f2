#include "Signals/BreatherJournal.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/BytesRead.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

TEST(BreatherJournal, ReadsAJournalThatNeverEndsNoFurtherThanItHeldWhenOpened) {
    // Says it holds nothing, and never ends.
    const fs::path endless = "/proc/self/pagemap";
    for (const bool theirs : {false, true}) {
        SCOPED_TRACE(theirs ? "another user's links" : "the user's own links");
        if (theirs && ::geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
        test::TestHome home;
        const auto fires = BreatherJournal::fireLogFile();
        const auto decisions = BreatherJournal::decisionsFile();
        fs::create_directories(fires.parent_path());
        for (const auto& journal : {fires, decisions}) {
            fs::create_symlink(endless, journal);
            if (theirs) test::giveToAnotherUser(journal);
        }
        const TimePoint now = systemClock()();
        // Through another user's link nothing is there to read; through the user's own, the
        // journal is as empty as it says.
        const auto taken = test::bytesReadBy([&] {
            const auto count = BreatherJournal::fireCount(fires);
            const auto times = BreatherJournal::fireTimes(fires);
            const auto miss = BreatherJournal::nearestMiss(decisions, now);
            const bool right = theirs ? !count && !times && !miss : count == 0 && times->empty() && miss == 0;
            return right ? 0 : 1;
        });
        ASSERT_TRUE(taken) << "the reading went on past its cap";
        EXPECT_EQ(taken->bytes, 0u);
        EXPECT_EQ(taken->answer, 0);
    }
}

}  // namespace
}  // namespace quillfen
