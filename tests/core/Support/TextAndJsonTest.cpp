#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"
#include "Support/Paths.h"
#include "Support/Text.h"
#include "support/EscapedNames.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(Text, TrimsUnicodeWhiteSpaceAndLineBreaksOnly) {
    EXPECT_EQ(Text::trimmed("  \t hello world \r\n"), "hello world");
    EXPECT_EQ(Text::trimmed("\u00a0\u2028line\u3000"), "line");
    EXPECT_EQ(Text::trimmed("\u200bzero-width stays\u200b"), "\u200bzero-width stays\u200b");
    EXPECT_EQ(Text::trimmed(" \n "), "");
    EXPECT_EQ(Text::trimmed(""), "");
    EXPECT_EQ(Text::trimmed(" \xff bad bytes \xfe "), "\xff bad bytes \xfe");
}

// A name someone else chose, printed for a person: nothing in it may end the line, move the
// cursor, erase, ring or turn the direction of what follows on a terminal.
TEST(Text, EscapesEveryCharacterThatCouldRewriteTheLineItIsShownIn) {
    for (const auto& c : test::kEscapedNames)
        EXPECT_EQ(Text::controlsEscaped(c.name), c.shown) << c.shown;
}

TEST(JsonText, RefusesToWriteNonFiniteNumbersAnywhere) {
    nlohmann::json ok = {{"a", 1.5}, {"b", {1, 2}}};
    EXPECT_EQ(JsonText::encode(ok), R"({"a":1.5,"b":[1,2]})");
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        nlohmann::json nested = {{"outer", {{"inner", nlohmann::json::array({1, bad})}}}};
        EXPECT_FALSE(JsonText::encode(nested));
    }
    nlohmann::json invalidUtf8 = std::string("\xff");
    EXPECT_FALSE(JsonText::encode(invalidUtf8));
}

TEST(JsonText, DecodeNeverThrows) {
    EXPECT_FALSE(JsonText::decode("{"));
    EXPECT_FALSE(JsonText::decode(""));
    EXPECT_FALSE(JsonText::decode("\"\xff\""));
    EXPECT_EQ(JsonText::decode("[1]"), nlohmann::json::array({1}));
}

TEST(Paths, FollowTheXdgFoldersAndFallBackToHome) {
    test::TestHome home;
    EXPECT_EQ(Paths::dataDirectory(), home.dataDirectory());
    EXPECT_EQ(Paths::familyDirectory(), home.path() / ".ostrel");
    {
        test::ScopedEnv relative("XDG_DATA_HOME", "relative/path");
        EXPECT_EQ(Paths::dataDirectory(), home.path() / ".local/share/org.quillfen.Quillfen");
    }
    {
        test::ScopedEnv unset("XDG_CACHE_HOME", std::nullopt);
        EXPECT_EQ(Paths::cacheDirectory(), home.path() / ".cache/org.quillfen.Quillfen");
    }
}

}  // namespace
}  // namespace quillfen
