#include "Mind/FactualGuard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillfen {
namespace {

AgentSummary week(int longAfternoons, int fragmentedAfternoons) {
    AgentSummary summary;
    summary.summary.longAfternoonsThisWeek = longAfternoons;
    summary.summary.fragmentedAfternoonsThisWeek = fragmentedAfternoons;
    return summary;
}

struct FactCase {
    const char* name;
    std::string line;
    int longAfternoons;
    int fragmentedAfternoons;
    bool passes;
};

void PrintTo(const FactCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<FactCase> factCases() {
    return {
        {"NoCountsAtAll", "A steady week at the screen. Step outside for five.", 0, 0, true},
        {"NoCountsInABusyWeek", "Step outside for five.", 9, 7, true},
        {"Empty", "", 0, 0, true},

        // 2 and 4 stand whatever the week holds.
        {"SecondInAnEmptyWeek", "Second long afternoon this week.", 0, 0, true},
        {"FourthInAnEmptyWeek", "The fourth one.", 0, 0, true},
        {"TwoDigitAfternoons", "2 long afternoons so far.", 0, 0, true},
        {"FourDigitTimes", "4 times now.", 0, 0, true},
        {"TwoWordAfternoons", "Two afternoons ran long.", 0, 0, true},
        {"FourWordScatteredDays", "Four scattered days.", 0, 0, true},

        // "first" needs a week count of 1.
        {"FirstInAnEmptyWeek", "The first long afternoon.", 0, 0, false},
        {"FirstWithOneLongAfternoon", "The first long afternoon.", 1, 0, true},
        {"FirstWithOneFragmentedAfternoon", "The first long afternoon.", 0, 1, true},
        {"FirstInsideAWordIsNoClaim", "Firstly, a calm week.", 0, 0, true},

        // Three long afternoons, by either weekly count.
        {"ThreeDigitsMatchLong", "3 long afternoons this week.", 3, 0, true},
        {"ThreeDigitsMatchFragmented", "3 long afternoons this week.", 0, 3, true},
        {"ThreeDigitsMatchNeither", "3 long afternoons this week.", 5, 1, false},
        {"ThreeWordsMatchLong", "Three long afternoons this week.", 3, 0, true},
        {"ThreeWordsMatchNeither", "Three long afternoons this week.", 2, 2, false},
        {"ThirdMatchesLong", "Third long afternoon this week.", 3, 0, true},
        {"ThirdMatchesNeither", "Third long afternoon this week.", 0, 0, false},
        {"ThreeTimes", "Three times today.", 0, 0, false},
        {"OneMoreTime", "One more time at the screen.", 0, 0, false},
        {"ThreeDigitsTouchingNoun", "3afternoons.", 0, 0, true},

        // At most one word between the number and the noun.
        {"OneWordBetween", "5 long afternoons.", 0, 0, false},
        {"TwoWordsBetween", "5 very long afternoons.", 0, 0, true},
        {"TwoWordsBetweenNumberWord", "Five very long afternoons.", 0, 0, true},
        {"LineBreakBetween", "5\nlong\nafternoons.", 0, 0, false},

        // Days: only long, fragmented or scattered ones, right after the number.
        {"LongDays", "6 long days.", 0, 0, false},
        {"FragmentedDay", "1 fragmented day.", 0, 0, false},
        {"ScatteredDaysInWords", "Seven scattered days.", 7, 0, true},
        {"QuietDaysAreNoClaim", "6 quiet days.", 0, 0, true},
        {"DaysWithAWordBetweenAreNoClaim", "6 very long days.", 0, 0, true},

        // Hours are the voice guard's business.
        {"Hours", "3 hours in.", 0, 0, true},
        {"HoursAsWord", "Three hours of quiet.", 0, 0, true},

        // Numeric ordinals, any size; number words only to ten.
        {"EleventhInDigits", "The 11th long afternoon.", 0, 0, false},
        {"EleventhInDigitsMatches", "The 11th long afternoon.", 11, 0, true},
        {"SecondInDigits", "The 2nd one.", 0, 0, true},
        {"FirstInDigits", "The 1st one.", 0, 0, false},
        {"ThirdInDigits", "Your 3rd long one.", 3, 0, true},
        {"ElevenInWordsIsNoClaim", "Eleven afternoons.", 0, 0, true},
        {"EleventhInWordsIsNoClaim", "The eleventh afternoon.", 0, 0, true},
        {"TenthInWords", "The tenth afternoon.", 0, 0, false},
        {"TenTimes", "Ten times.", 10, 0, true},
        {"DigitsTooLongForAnyNumber", "99999999999999999999 afternoons.", 0, 0, true},
        {"ArabicIndicDigitsAreNoClaim", "\u0663 afternoons.", 0, 0, true},
        {"ArabicIndicOrdinalIsNoClaim", "\u0663rd afternoon.", 0, 0, true},

        // Capitals never matter.
        {"CapitalOrdinal", "THIRD LONG AFTERNOON.", 0, 0, false},
        {"CapitalNumberWord", "FIVE AFTERNOONS.", 0, 0, false},
        {"CapitalNumericOrdinal", "The 5TH day.", 0, 0, false},
        {"CapitalNumberWordMatches", "FIVE AFTERNOONS.", 5, 0, true},

        // One wrong count is enough, however many are right.
        {"OneRightOneWrong", "Third long afternoon, 5 times.", 3, 0, false},
        {"AllRight", "Third long afternoon, 2 times, fourth day.", 3, 0, true},
        {"NegativeWeekCountsAllowNothingNew", "The first one.", -1, -1, false},
    };
}

class FactualGuardLines : public testing::TestWithParam<FactCase> {};

TEST_P(FactualGuardLines, ClaimedCountsMustBeBackedByTheWeek) {
    const FactCase& c = GetParam();
    const std::vector<VoiceRule> expected =
        c.passes ? std::vector<VoiceRule>{} : std::vector<VoiceRule>{VoiceRule::numberMismatchesSummary};
    EXPECT_EQ(FactualGuard::check(c.line, week(c.longAfternoons, c.fragmentedAfternoons)), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FactualGuardLines, testing::ValuesIn(factCases()),
                         [](const testing::TestParamInfo<FactCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FactualGuard, ALongRunOfDigitsIsJudgedQuickly) {
    AgentSummary summary;
    const std::string digits(200'000, '7');
    EXPECT_TRUE(FactualGuard::check(digits + " afternoons", summary).empty()) << "too large to be a count";
    std::string spaced;
    for (int i = 0; i < 50'000; ++i)
        spaced += "7 ";
    EXPECT_TRUE(FactualGuard::check(spaced + "long days", summary).size() == 1u);
}

TEST(FactualGuard, SeveralWrongCountsStillGiveOneRule) {
    EXPECT_EQ(
        FactualGuard::check("Fifth day, 6 times, seventh long afternoon, 8 scattered days.", week(0, 0)),
        std::vector<VoiceRule>{VoiceRule::numberMismatchesSummary});
}

TEST(FactualGuard, ClaimedCountsComeInPassOrderWithDigitDuplicatesKept) {
    struct Claim {
        std::string text;
        std::vector<std::int64_t> counts;
    };
    const std::vector<Claim> table = {
        {"nothing to count here", {}},
        // An ordinal word counts once however often it appears.
        {"third, and third again", {3}},
        {"the 3rd and the 3rd", {3, 3}},
        {"3 afternoons and 3 times", {3, 3}},
        // Word passes add each word's value once.
        {"two afternoons, two times", {2}},
        // Ordinal words, numeric ordinals, digits before nouns, digits before days, words before
        // nouns, words before days.
        {"six long days, 5 long days, five afternoons, 7 times, the 9th, the first", {1, 9, 7, 5, 5, 6}},
        // A match consumes its text: the second number sits inside the first match.
        {"2 3 afternoons", {2}},
        {"007th", {7}},
        // Upper-case text is not lowered here.
        {"THIRD", {}},
    };
    for (const Claim& claim : table)
        EXPECT_EQ(FactualGuard::claimedCounts(claim.text), claim.counts) << claim.text;
}

}  // namespace
}  // namespace quillfen
