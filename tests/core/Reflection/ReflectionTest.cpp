#include "Reflection/Reflection.h"

#include <unicode/locid.h>

#include <gtest/gtest.h>

namespace quillfen {
namespace {

struct WeekCounts {
    int n = 0;  // long afternoons
    int f = 0;  // fragmented afternoons
    ScreenBand band = ScreenBand::oneToTwo;
    AttentionState attention = AttentionState::focused;
    PartOfDay part = PartOfDay::afternoon;
    bool wentLong = false;
    int k = 0;  // nudges already given
};

AgentSummary summaryOf(const WeekCounts& w) {
    AgentSummary s;
    s.summary.longAfternoonsThisWeek = w.n;
    s.summary.fragmentedAfternoonsThisWeek = w.f;
    s.summary.nudgesAlreadyThisWeek = w.k;
    s.summary.today = {w.part, w.band, w.attention, Load::medium, w.wentLong};
    return s;
}

using Table = std::vector<std::pair<WeekCounts, std::string>>;

constexpr auto kIdle = AttentionState::idle;
constexpr auto kUnder = ScreenBand::under1h;
constexpr auto kTwo = ScreenBand::twoToThree;
constexpr auto kOver = ScreenBand::overThree;

TEST(Reflection, TodayLineTakesTheFirstRuleThatHolds) {
    EXPECT_EQ(Reflection::todayLine(std::nullopt), "Quiet so far. I'm just watching.");
    const Table table = {
        {{.n = 3, .wentLong = true}, "Third long afternoon this week."},
        {{.n = 9, .wentLong = true}, "9th long afternoon this week."},
        {{.n = 1, .wentLong = true}, "A long afternoon today."},
        {{.band = kOver, .attention = kIdle}, "A light day so far."},
        {{.n = 3, .band = kUnder}, "A light day so far."},
        {{.band = kUnder, .part = PartOfDay::night}, "Late, and quiet."},
        {{.band = kUnder, .part = PartOfDay::morning}, "A quiet morning so far."},
        {{.band = kUnder, .part = PartOfDay::evening}, "A quiet evening, from what I can see."},
        {{.n = 2, .band = kTwo}, "Another long afternoon building, two already behind you this week."},
        {{.n = 1, .band = kOver}, "Another long afternoon building, one already behind you this week."},
        {{.band = kOver}, "A long unbroken stretch at the screen today."},
        {{.band = kTwo, .attention = AttentionState::fragmented}, "A steady stretch today."},
        {{.n = 3}, "Three long afternoons this week."},
        {{.n = 5}, "5 long afternoons this week."},
        {{.n = 1, .f = 4}, "One long afternoon this week so far."},
        {{.f = 2}, "A scattered week so far."},
        {{.f = 1}, "Quiet so far. I'm just watching."},
    };
    for (const auto& [w, expected] : table)
        EXPECT_EQ(Reflection::todayLine(summaryOf(w)), expected);
}

TEST(Reflection, ObserveHeadlineNamesThePartOfDayUntilTheWeekHasAShape) {
    const Table table = {
        {{.part = PartOfDay::night}, "Late, and still here."},
        {{.n = 1, .f = 1, .part = PartOfDay::morning}, "This morning so far."},
        {{.part = PartOfDay::afternoon}, "This afternoon so far."},
        {{.part = PartOfDay::evening}, "This evening so far."},
        {{.n = 1, .f = 2}, "This week's rhythm."},
        {{.n = 2, .part = PartOfDay::night}, "This week's rhythm."},
    };
    for (const auto& [w, expected] : table)
        EXPECT_EQ(Reflection::observeHeadline(summaryOf(w)), expected);
}

TEST(Reflection, ObserveStatusTakesTheFirstRuleThatHolds) {
    const Table table = {
        {{.n = 4, .wentLong = true}, "Fourth long afternoon this week. I'm only watching."},
        {{.n = 2, .band = kOver}, "Two long afternoons this week. I'm only watching."},
        {{.n = 1, .f = 3, .wentLong = true}, "One long afternoon this week. Nothing you need to do."},
        {{.f = 2, .band = kOver}, "A scattered few days. I'm just keeping count."},
        {{.band = kOver, .attention = kIdle}, "A long stretch at the screen today. Just noting it."},
        {{.band = kTwo}, "A steady stretch today. Nothing to manage."},
        {{.band = ScreenBand::oneToTwo}, "A quiet stretch. I'm just here."},
        {{.band = ScreenBand::oneToTwo, .attention = kIdle}, "A light day so far. I'm watching quietly."},
        {{.band = kUnder}, "A light day so far. I'm watching quietly."},
    };
    for (const auto& [w, expected] : table)
        EXPECT_EQ(Reflection::observeStatus(summaryOf(w)), expected);
}

TEST(Reflection, MurmurTakesTheFirstRuleThatHolds) {
    const Table table = {
        {{.n = 2, .k = 1}, "Two long afternoons this week, and I said so once."},
        {{.n = 0, .wentLong = true, .k = 3}, "No long afternoons this week, and I said so once."},
        {{.n = 1, .k = 1}, "One long afternoon this week, and I said so once."},
        {{.n = 2, .wentLong = true}, "Second long afternoon this week."},
        {{.n = 1, .wentLong = true}, "A long afternoon today."},
        {{.n = 1, .band = kTwo}, "A long stretch today, and one long afternoon already this week."},
        {{.n = 3, .band = kOver}, "A long stretch today, and three long afternoons already this week."},
        {{.band = kOver}, "A long unbroken stretch today."},
        {{.band = kTwo}, "A steady stretch at the screen today."},
        {{.n = 2}, "Two long afternoons this week."},
        {{.n = 1, .f = 2}, "A scattered week so far."},
        {{.n = 1}, ""},
    };
    for (const auto& [w, expected] : table)
        EXPECT_EQ(Reflection::murmur(summaryOf(w)), expected);
}

TEST(Reflection, SpelledNumbersAreWordsUpToFour) {
    const std::vector<std::pair<std::int64_t, std::string>> table = {
        {0, "no"}, {1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}, {5, "5"}, {-1, "-1"}};
    for (const auto& [n, expected] : table)
        EXPECT_EQ(Reflection::spelled(n), expected);
}

TEST(Reflection, ChoosesACleanGeneratedLineOverTheDerivedOne) {
    const std::string derived = " Quiet so far. I'm just watching.\n";
    const std::vector<std::pair<std::optional<std::string>, std::string>> table = {
        {std::nullopt, derived},
        {"", derived},
        {"   \n\t", derived},
        {"Three long afternoons, was it?", derived},
        {"You should rest.", derived},
        {"  Two long afternoons this week.\n", "Two long afternoons this week."},
        {"\u00a0A slow Tuesday.\u2003", "A slow Tuesday."},
    };
    for (const auto& [generated, expected] : table)
        EXPECT_EQ(Reflection::choose(generated, derived), expected);
}

TEST(Reflection, AMirrorLineNeverAsksOrAdvises) {
    const std::vector<std::pair<std::string, bool>> table = {
        {"Three long afternoons this week.", true},
        {"You should rest.", false},
        {"STEP OUT for a moment.", false},
        {"Time to Step Outside.", false},
        {"Your shoulders carried the week.", false},
        {"You could call it a day.", false},
        {"Maybe try to slow down.", false},
        {"Long week", true},
        {"A long week?", false},
        {"Time to take a brea\u212a.", false},  // the Kelvin sign lower-cases to k
    };
    for (const auto& [line, clean] : table)
        EXPECT_EQ(Reflection::isMirrorClean(line), clean) << line;
}

}  // namespace
}  // namespace quillfen

namespace quillfen {
namespace {

TEST(Reflection, TheMirrorCheckDoesNotFollowTheUsersLocale) {
    const icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
    const bool outside = Reflection::isMirrorClean("Go OutsIde now.");
    const bool might = Reflection::isMirrorClean("YOU MIGHT rest.");
    icu::Locale::setDefault(previous, status);
    EXPECT_FALSE(outside);
    EXPECT_FALSE(might);
}

}  // namespace
}  // namespace quillfen
