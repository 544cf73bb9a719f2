#include "Log/LineJournal.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

std::string record(int n) {
    return "{\"n\":" + std::to_string(n) + "}";
}

// Twenty lines of eight bytes: past 150 bytes, a cut keeps the newest ten.
const LineJournal::Trim kSmall{150, 10, {}};

std::string journalOf(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += record(n) + "\n";
    return text;
}

TEST(LineJournal, AKillBetweenTheStepsOfACutLeavesTheOldJournalOrTheCutOne) {
    test::TempDir dir;
    const auto file = dir.path() / "decisions-log.jsonl";
    const std::string before = journalOf(10, 27);  // 144 bytes: the next line crosses the limit
    const std::string whole = before + record(28) + "\n";
    const std::string cut = journalOf(19, 28);
    for (auto stop :
         {LineJournal::TrimStep::read, LineJournal::TrimStep::written, LineJournal::TrimStep::renamed}) {
        test::writeFile(file, before);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            LineJournal::setTrimStepHook([stop](LineJournal::TrimStep step) {
                if (step == stop) ::raise(SIGKILL);
            });
            LineJournal::append(file, record(28), kSmall);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "killed at the step";
        EXPECT_EQ(test::readFile(file), stop == LineJournal::TrimStep::renamed ? cut : whole)
            << static_cast<int>(stop);
    }
}

TEST(LineJournal, AnAppendFromAnotherThreadDuringACutLandsInTheCutJournal) {
    test::TempDir dir;
    const auto file = dir.path() / "decisions-log.jsonl";
    test::writeFile(file, journalOf(10, 27));
    std::thread other;
    LineJournal::setTrimStepHook([&](LineJournal::TrimStep step) {
        if (step != LineJournal::TrimStep::written || other.joinable()) return;
        // The old journal is still in place: an append now must not go to it.
        other = std::thread([&] { LineJournal::append(file, record(29), kSmall); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    LineJournal::append(file, record(28), kSmall);
    other.join();
    LineJournal::setTrimStepHook({});
    EXPECT_EQ(test::readFile(file), journalOf(19, 29));
}

}  // namespace
}  // namespace quillfen
