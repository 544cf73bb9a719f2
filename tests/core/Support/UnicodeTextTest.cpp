#include "Support/UnicodeText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Support/Regex.h"

namespace quillfen {
namespace {

TEST(UnicodeText, CountsCharactersAsPeopleSeeThem) {
    struct Case {
        std::string text;
        std::size_t count;
    };
    const std::vector<Case> cases = {
        {"", 0},
        {"abc", 3},
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", 1},  // a family
        {"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 2},                    // two flags
        {"\U0001F44D\U0001F3FD", 1},                                        // a thumb with a skin tone
        {"e\u0301", 1},
        {"\r\n", 1},
        {"\u4E2D\u6587", 2},
        {"a\xff"
         "b",
         3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnicodeText::characterCount(c.text), c.count) << c.text;
    EXPECT_EQ(UnicodeText::characters("ae\u0301\U0001F44D"),
              (std::vector<std::string>{"a", "e\u0301", "\U0001F44D"}));
    EXPECT_EQ(UnicodeText::firstCharacter("e\u0301t\u00e9"), "e\u0301");
    EXPECT_EQ(UnicodeText::firstCharacter(""), "");
}

TEST(UnicodeText, TellsCaseLikeTheCharacterDoes) {
    struct Case {
        std::string character;
        bool letter, upper, lower;
    };
    const std::vector<Case> cases = {
        {"A", true, true, false},
        {"a", true, false, true},
        {"E\u0301", true, true, false},
        {"e\u0301", true, false, true},
        {"\u00df", true, false, true},
        {"\u1E9E", true, true, false},
        {"\u01C5", true, false, false},
        {"\u4E2D", true, false, false},
        {"\u0391", true, true, false},
        {"\u03B1", true, false, true},
        {"3", false, false, false},
        {"\u2160", false, true, false},  // a Roman numeral, upper but no letter
        {"\U0001F44D", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UnicodeText::isLetter(c.character), c.letter) << c.character;
        EXPECT_EQ(UnicodeText::isUppercase(c.character), c.upper) << c.character;
        EXPECT_EQ(UnicodeText::isLowercase(c.character), c.lower) << c.character;
    }
    EXPECT_EQ(UnicodeText::uppercased("stra\u00dfe"), "STRASSE");
    EXPECT_EQ(UnicodeText::lowercased("\u0130STANBUL"), "i\u0307stanbul");
    EXPECT_EQ(UnicodeText::caseFolded("TaVRYN \u00df"), "tavryn ss");
}

TEST(Regex, FindsGroupsOfEveryMatchThatTookPart) {
    const Regex pattern(R"(\b(\d+)(?:st|nd|rd|th)\b|(x))");
    ASSERT_TRUE(pattern.valid());
    EXPECT_EQ(pattern.groupOfEachMatch("the 3rd, x, 11th and 2nd", 1),
              (std::vector<std::string>{"3", "11", "2"}));
    EXPECT_EQ(pattern.groupOfEachMatch("the 3rd", 7), std::vector<std::string>{});
    EXPECT_TRUE(pattern.foundIn("x"));
    EXPECT_FALSE(pattern.foundIn("3 rd"));

    const Regex broken("(unclosed");
    EXPECT_FALSE(broken.valid());
    EXPECT_FALSE(broken.foundIn("(unclosed"));
    EXPECT_EQ(broken.groupOfEachMatch("(unclosed", 1), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillfen
