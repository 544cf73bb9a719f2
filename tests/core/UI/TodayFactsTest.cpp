#include "UI/TodayFacts.h"

#include <gtest/gtest.h>

#include <string>

#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

// The journals as the breather, the signal reader and the calendar hold write them, in a folder of
// the test's own.
struct Journals {
    test::TempDir dir;
    TodayFacts::Journals files{dir.path() / "breather-log.jsonl", dir.path() / "breather-decisions.jsonl",
                               dir.path() / "decisions-log.jsonl", dir.path() / "actions-log.jsonl"};
};

std::string fire(const std::string& ts) {
    return R"({"ts":")" + ts + "\"}\n";
}
std::string decision(const std::string& ts, const std::string& verdict, const std::string& slow) {
    return R"({"ts":")" + ts + R"(","verdict":")" + verdict + R"(","slow":)" + slow + "}\n";
}
std::string reset(const std::string& ts) {
    return R"({"detail":"gap","kind":"reset","ts":")" + ts + "\"}\n";
}
std::string placed(const std::string& dayKey, const std::string& start) {
    return R"({"action":"placed","dayKey":")" + dayKey + R"(","holdEnd":"x",)" +
           (start.empty() ? "" : R"("holdStart":")" + start + "\",") + R"("kind":"calendar-break","reason":"r"})" +
           "\n";
}

TEST(TodayFacts, TodaysDecisionsJoinTheBreathersFiresItsNearestMissAndTheFreshStarts) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint now = at("2026-01-05T16:00:00+01:00");
    const struct {
        std::string name, fires, decisions, resets;
        std::optional<std::string> fact;
    } cases[] = {
        {"nothing today", fire("2026-01-04T09:05:00+01:00"), "", reset("2026-01-04T10:00:00+01:00"), std::nullopt},
        {"two resets", "", "", reset("2026-01-05T08:00:00Z") + reset("2026-01-05T11:00:00Z"), "2 fresh starts"},
        {"a fire and a reset", fire("2026-01-05T09:05:00+01:00"), "", reset("2026-01-05T11:00:00Z"),
         "spoke at 9:05 \u00b7 one fresh start"},
        // Later today counts too; a fraction of a second does not read.
        {"fires in file order", fire("2026-01-05T14:40:00+01:00") + fire("2026-01-05T09:05:00+01:00") +
                                    fire("2026-01-05T10:00:00.5+01:00") + fire("2026-01-05T20:00:00+01:00"),
         "", "", "spoke at 14:40, 9:05, 20:00"},
        {"a miss of 3", "", decision("2026-01-05T10:00:00+01:00", "below", "3"), "", std::nullopt},
        {"the largest miss of today",
         "",
         decision("2026-01-05T10:00:00+01:00", "below", "4") + decision("2026-01-05T11:00:00+01:00", "below", "6") +
             decision("2026-01-04T11:00:00+01:00", "below", "9") +
             decision("2026-01-05T12:00:00+01:00", "above", "8") +
             decision("2026-01-05T12:00:00+01:00", "below", "\"7\""),
         "", "nearest miss 6 pulls in a half hour"},
    };
    for (const auto& c : cases) {
        Journals j;
        if (!c.fires.empty()) test::writeFile(j.files.breatherLog, c.fires);
        if (!c.decisions.empty()) test::writeFile(j.files.breatherDecisions, c.decisions);
        if (!c.resets.empty()) test::writeFile(j.files.decisionsLog, c.resets);
        EXPECT_EQ(TodayFacts::decisions(now, j.files), c.fact) << c.name;
    }

    // Only the newest 3000 decisions are looked at.
    Journals j;
    std::string decisions = decision("2026-01-05T10:00:00+01:00", "below", "9");
    for (int i = 1; i < 3500; ++i) decisions += decision("2026-01-05T10:00:00+01:00", "above", "9");
    test::writeFile(j.files.breatherDecisions, decisions);
    EXPECT_EQ(TodayFacts::decisions(now, j.files), std::nullopt);
}

TEST(TodayFacts, TheHoldOfTodayIsTheNewestPlacedOneWithAStart) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint now = at("2026-01-05T16:00:00+01:00");
    const std::string skip = R"({"action":"skip","dayKey":"2026-01-05","kind":"calendar-break","reason":"r"})"
                             "\n";
    const struct {
        std::string journal;
        std::optional<std::string> fact;
    } cases[] = {
        {"", std::nullopt},
        {placed("2026-01-05", "2026-01-05T09:20:00Z") + placed("2026-01-05", "2026-01-05T14:20:00Z"),
         "a ten minute hold at 15:20, yours to keep or delete"},
        {placed("2026-01-04", "2026-01-04T14:20:00Z") + skip, std::nullopt},
        {placed("2026-01-05", "2026-01-05T09:20:00Z") + placed("2026-01-05", "") + "not json\n",
         "a ten minute hold at 10:20, yours to keep or delete"},
    };
    for (const auto& c : cases) {
        Journals j;
        if (!c.journal.empty()) test::writeFile(j.files.actionsLog, c.journal);
        EXPECT_EQ(TodayFacts::heldToday(now, j.files), c.fact) << c.journal;
    }
}

}  // namespace
}  // namespace quillfen
