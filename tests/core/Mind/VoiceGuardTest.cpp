#include "Mind/VoiceGuard.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quillfen {
namespace {

using R = VoiceRule;

struct VoiceCase {
    const char* name;
    std::string line;
    std::vector<VoiceRule> failures;
};

void PrintTo(const VoiceCase& c, std::ostream* os) {
    *os << c.name;
}

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";

std::vector<VoiceCase> voiceCases() {
    return {
        // Nothing to say.
        {"Empty", "", {R::nonEmpty}},
        {"OnlySpacesAndLineBreaks", "  \n \r\n ", {R::nonEmpty}},
        {"OnlyTabsAndNonBreakingSpaces", "\t\u00a0\u2028\u3000", {R::nonEmpty}},

        {"PlainLine", "Third long afternoon this week. Step outside for five.", {}},
        {"PaddingIsIgnored", " \t\u00a0Step outside for five.\n\n", {}},
        {"CurlyApostrophe", "It\u2019s been a long one.", {}},

        {"Question", "Are you still at it?", {R::noQuestion}},
        {"QuestionAndTwoFullStops",
         "Still here? Long day. Step out.",
         {R::noQuestion, R::atMostTwoSentences}},
        {"FullwidthQuestionMarkIsNotTheMark", "Still here\uFF1F", {}},

        {"EmDash", "A long one \u2014 step out.", {R::noEmDash}},
        {"EnDash", "A long one \u2013 step out.", {}},
        {"Hyphen", "A long one - step out.", {}},

        // Shouting.
        {"CapitalWord", "That was a HUGE afternoon.", {R::sentenceCase}},
        {"Ok", "OK, step out.", {R::sentenceCase}},
        {"LoneCapitalI", "I saw the long afternoon. A walk helps.", {}},
        {"OneLetterAndDigits", "Room B12 can wait.", {}},
        {"TwoLettersAndDigits", "The B2B call can wait.", {R::sentenceCase}},
        {"LettersSplitByFullStops", "Back in the U.S. soon", {R::sentenceCase}},
        {"TabDoesNotSeparateWords", "A\tI think so.", {R::sentenceCase}},
        {"NonBreakingSpaceDoesNotSeparateWords", "A\u00a0I think so.", {R::sentenceCase}},
        {"LineFeedSeparatesWords", "A\nI think so.", {}},
        {"SpaceSeparatesWords", "A I think so.", {}},
        {"CapitalInCurlyQuotes", "\u201cOK\u201d is not a plan.", {R::sentenceCase}},
        {"GreekCapitals", "\u039F\u039A then.", {R::sentenceCase}},
        {"CyrillicCapitals", "\u0412\u0421\u0401 fine.", {R::sentenceCase}},
        {"UncasedScriptIsNotShouting", "A calm \u4E2D\u6587 week.", {}},
        {"MixedScriptsInOneWord", "Calm\u4E2D\u6587 week.", {}},
        {"DecomposedCapitals", "E\u0301E is loud.", {R::sentenceCase}},
        {"TitlecaseDigraphIsNotCapital", "\u01C5A then.", {}},
        {"CapitalSharpS", "\u1E9EA then.", {R::sentenceCase}},

        // Sentence marks.
        {"TwoSentences", "Long day. Step out.", {}},
        {"ThreeSentences", "Long day. Step out. Now.", {R::atMostTwoSentences}},
        {"TypedEllipsis", "Well... step out", {R::atMostTwoSentences}},
        {"EllipsisCharacter", "Well\u2026 step out.", {}},
        {"Exclamations", "Step out!!!", {R::atMostTwoSentences}},

        // Length, in characters as people count them.
        {"Exactly180", repeat("a", 180), {}},
        {"181", repeat("a", 181), {R::notTooLong}},
        {"180EndingInAFamily", repeat("a", 179) + kFamily, {}},
        {"181EndingInAFamily", repeat("a", 180) + kFamily, {R::notTooLong}},
        {"180Emoji", repeat("\U0001F44D", 180), {}},
        {"180Flags", repeat("\U0001F1E9\U0001F1EA", 180), {}},
        {"180DecomposedLetters", repeat("e\u0301", 180), {}},
        {"181DecomposedLetters", repeat("e\u0301", 181), {R::notTooLong}},
        {"PaddingDoesNotCount", "   " + repeat("a", 180) + "\n", {}},

        // Brand spelling.
        {"BrandSpelledRight", "Tavryn noticed.", {}},
        {"BrandLowerCase", "tavryn noticed.", {R::tavrynSpelling}},
        {"BrandInCapitals", "TAVRYN noticed.", {R::sentenceCase, R::tavrynSpelling}},
        {"BrandMixedCase", "TaVrYn noticed.", {R::tavrynSpelling}},
        {"OneRightSpellingExcusesTheOther", "tavryn, or Tavryn.", {}},
        {"BrandInsideAWord", "The tavryns noticed.", {R::tavrynSpelling}},

        // Cold template phrasing.
        {"DigitsThenTabs", "You have 12 tabs open.", {R::noColdTemplateSlop}},
        {"DigitThenTab", "1 tab left.", {R::noColdTemplateSlop}},
        {"DigitsTouchingTabs", "12tabs open.", {R::noColdTemplateSlop}},
        {"DigitsThenHoursIn", "3 hours in and still going.", {R::noColdTemplateSlop}},
        {"DigitThenHourIn", "1 hour in.", {R::noColdTemplateSlop}},
        {"CapitalHoursIn", "3 Hours In now.", {R::noColdTemplateSlop}},
        {"CapitalTabs", "12 TABS open.", {R::sentenceCase, R::noColdTemplateSlop}},
        {"NonBreakingSpaceBeforeTabs", "12\u00a0tabs open.", {R::noColdTemplateSlop}},
        {"TabCharacterBeforeHours", "2\thours\tin.", {R::noColdTemplateSlop}},
        {"ArabicIndicDigitsThenTabs", "\u0663 tabs open.", {R::noColdTemplateSlop}},
        {"NumberWordThenTabs", "Twelve tabs open.", {}},
        {"NumberWordThenHoursIn", "Three hours in and still going.", {}},
        {"HoursWithoutIn", "3 hours of quiet.", {}},
        {"HoursIntoIsNotIn", "3 hours into it.", {}},
        {"TabletsAreNotTabs", "3 tablets.", {}},
        {"TabsDeep", "Many tabs deep now.", {R::noColdTemplateSlop}},
        {"TabsDeepInsideAWord", "Browsertabs deep now.", {R::noColdTemplateSlop}},
        {"TabsDeeper", "Tabs deeper now.", {}},

        {"EveryRuleInOrder",
         "WHY is tavryn 3 tabs deep \u2014 again? Yes. No. " + repeat("a", 150),
         {R::noQuestion, R::noEmDash, R::sentenceCase, R::atMostTwoSentences, R::notTooLong,
          R::tavrynSpelling, R::noColdTemplateSlop}},
    };
}

class VoiceGuardRules : public ::testing::TestWithParam<VoiceCase> {};

TEST_P(VoiceGuardRules, ReportsExactlyTheRulesALineBreaksInOrder) {
    const VoiceCase& c = GetParam();
    const VoiceCheck check = VoiceGuard::check(c.line);
    EXPECT_EQ(check.failures, c.failures);
    EXPECT_EQ(check.passed, c.failures.empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, VoiceGuardRules, ::testing::ValuesIn(voiceCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The slop search tried a run of digits from each of its digits, so a line of
// 16,000 digits took 13 seconds to judge and one of 200,000 would have taken most of an hour.
TEST(VoiceGuard, ALongRunOfDigitsIsJudgedQuickly) {
    const std::string digits(200'000, '7');
    EXPECT_EQ(VoiceGuard::check(digits).failures, (std::vector<VoiceRule>{R::notTooLong}));
    EXPECT_EQ(VoiceGuard::check(digits + " tabs").failures,
              (std::vector<VoiceRule>{R::notTooLong, R::noColdTemplateSlop}));
    EXPECT_EQ(VoiceGuard::check("A" + digits + "hours in").failures,
              (std::vector<VoiceRule>{R::notTooLong, R::noColdTemplateSlop}));
}

TEST(VoiceGuard, InvalidUtf8StillGetsAnAnswer) {
    EXPECT_TRUE(VoiceGuard::check("Long day \xff\xfe here.").passed);
    EXPECT_EQ(VoiceGuard::check("\xc3").failures, std::vector<VoiceRule>{});
}

struct LeadCase {
    const char* name;
    std::string line;
    bool flagged;
};

void PrintTo(const LeadCase& c, std::ostream* os) {
    *os << c.name;
}

class VoiceGuardLeadingCapital : public ::testing::TestWithParam<LeadCase> {};

TEST_P(VoiceGuardLeadingCapital, FlagsOnlyALeadingLowerCaseLetter) {
    const LeadCase& c = GetParam();
    const std::vector<VoiceRule> expected =
        c.flagged ? std::vector<VoiceRule>{VoiceRule::leadingCapital} : std::vector<VoiceRule>{};
    EXPECT_EQ(VoiceGuard::leadingCapital(c.line), expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, VoiceGuardLeadingCapital,
                         ::testing::Values(LeadCase{"LowerCaseAfterSpaces", "   quiet week.", true},
                                           LeadCase{"LowerCaseAfterTabAndNbsp", "\t\u00a0quiet week.", true},
                                           LeadCase{"AccentedLowerCase", "\u00e9t\u00e9 again.", true},
                                           LeadCase{"DecomposedLowerCase", "e\u0301t\u00e9 again.", true},
                                           LeadCase{"SharpS", "\u00df then.", true},
                                           LeadCase{"Capital", "Quiet week.", false},
                                           LeadCase{"Digit", "3 long afternoons.", false},
                                           LeadCase{"CurlyQuote", "\u201cquiet\u201d week.", false},
                                           LeadCase{"UncasedLetter", "\u4E2D\u6587 week.", false},
                                           LeadCase{"Emoji", "\U0001F44D quiet.", false},
                                           LeadCase{"Empty", "", false},
                                           LeadCase{"OnlySpaces", " \n ", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VoiceRule, RawValuesAreTheCaseNamesInDeclarationOrder) {
    const std::vector<std::string> expected = {
        "nonEmpty",       "noQuestion",         "noEmDash",
        "sentenceCase",   "atMostTwoSentences", "notTooLong",
        "tavrynSpelling", "noColdTemplateSlop", "numberMismatchesSummary",
        "leadingCapital"};
    std::vector<std::string> raw;
    for (VoiceRule rule : kAllVoiceRules) {
        raw.emplace_back(toString(rule));
        EXPECT_EQ(voiceRuleFrom(toString(rule)), rule);
        EXPECT_EQ(nlohmann::json(rule).get<VoiceRule>(), rule);
    }
    EXPECT_EQ(raw, expected);
    EXPECT_EQ(voiceRuleFrom("NonEmpty"), std::nullopt);
    EXPECT_EQ(voiceRuleFrom(""), std::nullopt);
    EXPECT_THROW(nlohmann::json("loud").get<VoiceRule>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(3).get<VoiceRule>(), nlohmann::json::exception);
}

}  // namespace
}  // namespace quillfen
