#include "Signals/PromptCadence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/BenchCorpora.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using test::FixedClock;
using test::ScopedTimeZone;
using test::TestHome;
using test::writeFile;

std::string pull(std::string_view ts) {
    return "{\"ts\":\"" + std::string(ts) + "\"}\n";
}

TEST(PromptCadence, AMissingOrUnreadableJournalCountsNothing) {
    TestHome home;
    ScopedTimeZone tz(test::kBerlin);
    FixedClock clock(at("2026-01-05T14:03:00Z"));
    const auto journal = PromptCadence::canonicalURL();
    EXPECT_EQ(journal, home.familyDirectory() / "prompt-cadence.jsonl");

    for (const char* contents :
         {static_cast<const char*>(nullptr), "", "\n \n", "{\"ts\":\"2026-01-05T14:00:00Z\"}\n\xfe"}) {
        if (contents != nullptr) writeFile(journal, contents);
        auto cadence = PromptCadence::read(journal);
        EXPECT_EQ(cadence, PromptCadence::empty());
        EXPECT_EQ(cadence.count(1800, clock.now()), 0);
        EXPECT_EQ(cadence.countToday(clock.now()), 0);
    }
}

TEST(PromptCadence, CountsOnlyWellFormedRecords) {
    TestHome home;
    std::string journal;
    journal += pull("2026-01-05T14:02:00Z");
    journal += "{}\n";
    journal += "{\"ts\":1767621600}\n";
    journal += "{\"ts\":null}\n";
    journal += "{\"TS\":\"2026-01-05T14:00:00Z\"}\n";
    journal += "\"2026-01-05T14:00:00Z\"\n";
    journal += pull("2026-01-05T14:00:00");
    journal += pull("2026-01-05T14:00:00 +01:00");
    journal += pull("05/01/2026 14:00");
    journal += "{\"ts\":\"2026-01-05T14:0";  // a write cut short
    journal += "\n" + pull("2026-01-05T15:01:00+01:00");
    journal += "{\"ts\":\"2026-01-05T14:00:30.5Z\",\"session\":\"ab12\",\"cwd\":\"/x\"}\r\n";
    journal += "\xc2\xa0" + pull("2026-01-05T13:59:00Z");
    writeFile(PromptCadence::canonicalURL(), journal);

    auto cadence = PromptCadence::read(PromptCadence::canonicalURL());
    EXPECT_EQ(cadence.pulls(),
              (std::vector<TimePoint>{at("2026-01-05T13:59:00Z"), at("2026-01-05T14:00:30.5Z"),
                                      at("2026-01-05T14:01:00Z"), at("2026-01-05T14:02:00Z")}));
}

TEST(PromptCadence, WindowsIncludeBothEnds) {
    const TimePoint now = at("2026-01-05T14:00:00Z");
    PromptCadence cadence({at("2026-01-05T13:49:59Z"), at("2026-01-05T13:50:00Z"), at("2026-01-05T13:55:00Z"),
                           at("2026-01-05T14:00:00Z"), at("2026-01-05T14:00:01Z")});
    EXPECT_EQ(cadence.count(600, now), 3);
    EXPECT_EQ(cadence.count(601, now), 4);
    EXPECT_EQ(cadence.count(0, now), 1);
}

TEST(PromptCadence, TodayRunsFromLocalMidnightToTheNext) {
    ScopedTimeZone tz(test::kBerlin);
    // 2026-01-05 in Berlin runs from 2026-01-04T23:00Z to 2026-01-05T23:00Z.
    PromptCadence cadence({at("2026-01-04T22:59:59Z"), at("2026-01-04T23:00:00Z"), at("2026-01-05T09:00:00Z"),
                           at("2026-01-05T22:59:59Z"), at("2026-01-05T23:00:00Z")});
    EXPECT_EQ(cadence.countToday(at("2026-01-05T08:00:00Z")), 3);
    EXPECT_EQ(cadence.countToday(at("2026-01-04T23:00:00Z")), 3);
    EXPECT_EQ(cadence.countToday(at("2026-01-05T23:30:00Z")), 1);
}

TEST(PromptCadence, OnlyTheNewestPartOfAnEndlessJournalIsRead) {
    TestHome home;
    std::string journal = pull("2026-01-05T13:00:00Z");
    const std::string longLine = std::string(100 * 1024, 'x') + "\n";
    while (journal.size() < PromptCadence::readLimitBytes)
        journal += longLine;
    journal += pull("2026-01-05T13:55:00Z");
    writeFile(PromptCadence::canonicalURL(), journal);

    auto cadence = PromptCadence::read(PromptCadence::canonicalURL());
    EXPECT_EQ(cadence.pulls(), std::vector<TimePoint>{at("2026-01-05T13:55:00Z")});
}

// The benchmark's journals, whole and cut to the newest part, pinned as they have always read.
TEST(PromptCadence, ReadsTheBenchmarkJournalAsItAlwaysHas) {
    TestHome home;
    ScopedTimeZone zone{"Europe/Berlin"};
    const TimePoint now = at("2026-01-01T18:00:00Z");
    for (std::size_t bytes : {std::size_t{1} << 19, std::size_t{3} << 20}) {
        writeFile(PromptCadence::canonicalURL(), test::BenchCorpora::journal(bytes, false));
        const PromptCadence cadence = PromptCadence::read(PromptCadence::canonicalURL());
        std::string pulls;
        for (TimePoint t : cadence.pulls())
            pulls += std::to_string(t.time_since_epoch().count()) + ";";
        EXPECT_EQ(std::to_string(cadence.pulls().size()) + " " + std::to_string(test::BenchCorpora::digest(pulls)) +
                      " " + std::to_string(cadence.count(1800, now)) + " " + std::to_string(cadence.countToday(now)),
                  bytes == (std::size_t{1} << 19) ? "10700 15067340719960976548 257 7715" : "21399 11478172551369011840 0 0");
    }
}

}  // namespace
}  // namespace quillfen
