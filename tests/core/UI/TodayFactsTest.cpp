#include "UI/TodayFacts.h"

#include <gtest/gtest.h>

#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

struct Journals {
    test::TempDir dir;
    TodayFacts::Journals files{dir.path() / "breather-log.jsonl", dir.path() / "breather-decisions.jsonl",
                               dir.path() / "decisions-log.jsonl", dir.path() / "actions-log.jsonl"};
};

std::string journalLine(const std::string& ts, const std::string& rest = "") {
    return "{\"ts\":\"" + ts + "\"" + rest + "}\n";
}

TEST(TodayFacts, TodaysDecisionsJoinTheBreathersFiresItsNearestMissAndTheFreshStarts) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const std::string reset = ",\"kind\":\"reset\",\"detail\":\"gap\"", below = ",\"verdict\":\"below\",\"slow\":";
    const struct {
        std::string fires, decisions, resets;
        std::optional<std::string> fact;
    } cases[] = {
        {journalLine("2026-01-04T09:05:00+01:00"), "", journalLine("2026-01-04T10:00:00+01:00", reset),
         std::nullopt},
        {"", "", journalLine("2026-01-05T08:00:00Z", reset) + journalLine("2026-01-05T11:00:00Z", reset),
         "2 fresh starts"},
        {journalLine("2026-01-05T09:05:00+01:00"), "", journalLine("2026-01-05T11:00:00Z", reset),
         "spoke at 9:05 \u00b7 one fresh start"},
        // In file order, later today too; a fraction of a second does not read.
        {journalLine("2026-01-05T14:40:00+01:00") + journalLine("2026-01-05T09:05:00+01:00") +
             journalLine("2026-01-05T10:00:00.5+01:00") + journalLine("2026-01-05T20:00:00+01:00"),
         "", "", "spoke at 14:40, 9:05, 20:00"},
        {"", journalLine("2026-01-05T10:00:00+01:00", below + "3"), "", std::nullopt},
        {"",
         journalLine("2026-01-05T10:00:00+01:00", below + "4") +
             journalLine("2026-01-05T11:00:00+01:00", below + "6") +
             journalLine("2026-01-04T11:00:00+01:00", below + "9") +
             journalLine("2026-01-05T12:00:00+01:00", below + "\"7\""),
         "", "nearest miss 6 pulls in a half hour"},
    };
    for (const auto& c : cases) {
        Journals j;
        test::writeFile(j.files.breatherLog, c.fires);
        test::writeFile(j.files.breatherDecisions, c.decisions);
        test::writeFile(j.files.decisionsLog, c.resets);
        EXPECT_EQ(TodayFacts::decisions(at("2026-01-05T16:00:00+01:00"), j.files), c.fact) << c.fires << c.decisions;
    }
    // Only the newest 3000 decisions are looked at.
    Journals j;
    std::string decisions = journalLine("2026-01-05T10:00:00+01:00", below + "9");
    for (int i = 1; i < 3500; ++i)
        decisions += journalLine("2026-01-05T10:00:00+01:00", ",\"verdict\":\"above\",\"slow\":9");
    test::writeFile(j.files.breatherDecisions, decisions);
    EXPECT_EQ(TodayFacts::decisions(at("2026-01-05T16:00:00+01:00"), j.files), std::nullopt);
}

TEST(TodayFacts, TheHoldOfTodayIsTheNewestPlacedOneWithAStart) {
    test::ScopedTimeZone tz("Europe/Berlin");
    auto record = [](const std::string& action, const std::string& day, const std::string& start) {
        return "{\"action\":\"" + action + "\",\"dayKey\":\"" + day + "\"," +
               (start.empty() ? "" : "\"holdStart\":\"" + start + "\",") + "\"kind\":\"calendar-break\"}\n";
    };
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"", std::nullopt},
        {record("placed", "2026-01-05", "2026-01-05T09:20:00Z") + record("placed", "2026-01-05", "2026-01-05T14:20:00Z"),
         "a ten minute hold at 15:20, yours to keep or delete"},
        {record("placed", "2026-01-04", "2026-01-04T14:20:00Z") + record("skip", "2026-01-05", ""), std::nullopt},
        {record("placed", "2026-01-05", "2026-01-05T09:20:00Z") + record("placed", "2026-01-05", "") + "not json\n",
         "a ten minute hold at 10:20, yours to keep or delete"},
    };
    for (const auto& [journal, fact] : cases) {
        Journals j;
        test::writeFile(j.files.actionsLog, journal);
        EXPECT_EQ(TodayFacts::heldToday(at("2026-01-05T16:00:00+01:00"), j.files), fact) << journal;
    }
}

}  // namespace
}  // namespace quillfen
