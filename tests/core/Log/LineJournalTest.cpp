#include "Log/LineJournal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

std::string numberedRecord(int n) {
    return "{\"n\":" + std::to_string(n) + "}";
}

// Twenty lines of eight bytes: past 150 bytes, a cut keeps the newest ten.
const LineJournal::Trim kSmall{150, 10, {}};

std::string journalOf(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += numberedRecord(n) + "\n";
    return text;
}

TEST(LineJournal, AKillBetweenTheStepsOfACutLeavesTheOldJournalOrTheCutOne) {
    test::TempDir dir;
    const auto file = dir.path() / "decisions-log.jsonl";
    const std::string before = journalOf(10, 27);  // 144 bytes: the next line crosses the limit
    const std::string whole = before + numberedRecord(28) + "\n";
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
            LineJournal::append(file, numberedRecord(28), kSmall);
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
        other = std::thread([&] { LineJournal::append(file, numberedRecord(29), kSmall); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    LineJournal::append(file, numberedRecord(28), kSmall);
    other.join();
    LineJournal::setTrimStepHook({});
    EXPECT_EQ(test::readFile(file), journalOf(19, 29));
}

// This process's resident memory in kB, from /proc/self/status: "VmRSS" now, "VmHWM" its peak.
long residentKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

TEST(LineJournal, ACutHoldsNoCopyOfTheJournalItCuts) {
    test::TempDir dir;
    const auto file = dir.path() / "decisions-log.jsonl";
    {
        // Ten megabytes in lines of a kilobyte: the cut keeps the newest eight thousand.
        std::string text;
        for (int n = 0; text.size() < 10'000'000; ++n)
            text += "{\"n\":" + std::to_string(n) + ",\"detail\":\"" + std::string(1000, 'd') + "\"}\n";
        test::writeFile(file, text);
    }
    const int clearRefs = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    const bool peakReset = clearRefs >= 0 && ::write(clearRefs, "5", 1) == 1;
    if (clearRefs >= 0) ::close(clearRefs);
    if (!peakReset) GTEST_SKIP() << "the peak of resident memory cannot be reset here";
    const long before = residentKb("VmRSS");

    LineJournal::append(file, numberedRecord(0), {4'000'000, 8'000, {}});

    EXPECT_LT(residentKb("VmHWM") - before, 2'000) << "kB above the resident memory before the cut";
    const std::string cut = test::readFile(file);
    EXPECT_EQ(std::count(cut.begin(), cut.end(), '\n'), 8'000);
    EXPECT_TRUE(cut.ends_with(numberedRecord(0) + "\n"));
}

}  // namespace
}  // namespace quillfen
