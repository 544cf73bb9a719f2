#include "Signals/AIToolReader.h"

#include <gtest/gtest.h>

#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"
#include "support/FileTimes.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using LocalCalendar::fromLocal;
using test::writeFileModified;

std::string line(TimePoint t) {
    return R"({"type":"assistant","timestamp":")" + Iso8601::format(t) + "\"}\n";
}

// A temporary home in Berlin at 10:00 on Monday 5 January 2026.
struct MondayMorning {
    test::TestHome home;
    test::ScopedTimeZone tz{"Europe/Berlin"};
    TimePoint now = fromLocal(2026, 1, 5, 10);
    std::filesystem::path projects() const { return home.path() / ".claude/projects"; }
    void log(const std::string& path, const std::string& text) {
        writeFileModified(projects() / path, text, now);
    }
    AIToolSignal read() const { return AIToolReader::read(now); }
};

TEST(AIToolReader, IsUnavailableWithoutAProjectsFolder) {
    MondayMorning t;
    EXPECT_EQ(t.read(), AIToolSignal{});
    std::filesystem::create_directories(t.projects());
    AIToolSignal empty;
    empty.available = true;
    EXPECT_EQ(t.read(), empty);
}

TEST(AIToolReader, MeasuresTodaysSpanRunProjectsAndSwitches) {
    MondayMorning t;
    t.log("A/s1.jsonl", line(fromLocal(2026, 1, 5, 9, 0)) + line(fromLocal(2026, 1, 5, 9, 50)));
    t.log("B/s2.jsonl", line(fromLocal(2026, 1, 5, 9, 10)));
    AIToolSignal expected{true, 2, 10, 50, 10, 2, 2};
    EXPECT_EQ(t.read(), expected);
}

TEST(AIToolReader, CountsTodaysLogsButReadsOnlyTodaysLines) {
    MondayMorning t;
    // Modified yesterday: neither counted nor read.
    writeFileModified(t.projects() / "A/old.jsonl", line(fromLocal(2026, 1, 5, 9, 0)),
                      fromLocal(2026, 1, 4, 23, 59, 59));
    // Modified today: a line from yesterday is passed over.
    t.log("B/today.jsonl", line(fromLocal(2026, 1, 4, 23, 0)) + line(fromLocal(2026, 1, 5, 0, 0)));
    // Modified today, not valid UTF-8: counted, yields nothing.
    t.log("C/broken.jsonl", line(fromLocal(2026, 1, 5, 9, 30)) + "\xC0\xAF\n");
    // Not a log.
    t.log("D/notes.txt", line(fromLocal(2026, 1, 5, 9, 45)));
    AIToolSignal s = t.read();
    EXPECT_EQ(s.sessionsToday, 2);
    EXPECT_EQ(s.projectsToday, 1);
    EXPECT_EQ(s.lastActiveMinAgo, 600);
    EXPECT_EQ(s.activeSpanMinToday, 0);
}

TEST(AIToolReader, ReportsNoLastActivityWithoutLinesAndNeverANegativeAge) {
    MondayMorning t;
    t.log("A/s.jsonl", "{}\n");
    AIToolSignal quiet = t.read();
    EXPECT_EQ(quiet.sessionsToday, 1);
    EXPECT_EQ(quiet.lastActiveMinAgo, std::nullopt);

    t.log("A/s.jsonl", line(fromLocal(2026, 1, 5, 11, 0)));
    EXPECT_EQ(t.read().lastActiveMinAgo, 0);
}

TEST(AIToolReader, ReadsALogLargerThanOnePieceWhole) {
    // Lines that cross the reader's 1 MiB pieces are read whole; nothing is cut off the front.
    MondayMorning t;
    std::string text = line(fromLocal(2026, 1, 5, 8, 0));
    text += std::string((1 << 20) - 20, 'x') + line(fromLocal(2026, 1, 5, 8, 15));
    text += std::string(3 << 20, 'y') + "\n" + line(fromLocal(2026, 1, 5, 8, 30));
    t.log("A/big.jsonl", text);
    AIToolSignal s = t.read();
    EXPECT_EQ(s.activeSpanMinToday, 30);
    EXPECT_EQ(s.longestRunMinToday, 30);
}

TEST(AIToolReader, ParsesTheAgentsTimeForms) {
    const std::vector<std::tuple<std::string, bool, bool>> forms = {
        {"2026-01-05T09:00:00.123Z", true, false},  {"2026-01-05T09:00:00.1+01:00", true, false},
        {"2026-01-05T09:00:00Z", false, true},      {"2026-01-05T09:00:00-05:30", false, true},
        {"2026-01-05T09:00:00", false, false},      {"2026-01-05T09:00:00.123", false, false},
        {"2026-01-05T09:00:00+0100", false, false}, {"2026-01-05 09:00:00Z", false, false},
        {"2026-01-05T09:00:00.Z", false, false},    {"2026-02-30T09:00:00Z", false, false},
        {"9999-12-31T23:59:59Z", false, false},     {"", false, false},
    };
    for (const auto& [text, frac, plain] : forms) {
        SCOPED_TRACE(text);
        EXPECT_EQ(AIToolReader::isoFrac(text).has_value(), frac);
        EXPECT_EQ(AIToolReader::isoPlain(text).has_value(), plain);
    }
    EXPECT_EQ(AIToolReader::isoFrac("2026-01-05T09:00:00.250Z"), test::at("2026-01-05T09:00:00.250Z"));
    EXPECT_EQ(AIToolReader::isoPlain("2026-01-05T10:00:00+01:00"), test::at("2026-01-05T09:00:00Z"));
}

}  // namespace
}  // namespace quillfen
