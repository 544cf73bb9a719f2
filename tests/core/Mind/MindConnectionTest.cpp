#include "Mind/MindConnection.h"

#include <gtest/gtest.h>

#include <string>

#include "Support/UnicodeText.h"

namespace quillfen {
namespace {

using MindConnections::loggedInFromAuthStatusJson;
using MindConnections::read;

TEST(MindConnection, ReadsTheStateFromSettingToolAndLogin) {
    for (std::optional<bool> login :
         {std::optional<bool>(true), std::optional<bool>(false), std::optional<bool>()}) {
        EXPECT_EQ(read(false, true, login), MindConnection::off);
        EXPECT_EQ(read(false, false, login), MindConnection::off);
        EXPECT_EQ(read(true, false, login), MindConnection::notInstalled);
    }
    EXPECT_EQ(read(true, true, true), MindConnection::connected);
    EXPECT_EQ(read(true, true, false), MindConnection::needsConnection);
    EXPECT_EQ(read(true, true, std::nullopt), MindConnection::off);
}

struct AuthCase {
    const char* name;
    std::optional<std::string> output;
    std::optional<bool> loggedIn;
};

void PrintTo(const AuthCase& c, std::ostream* os) {
    *os << c.name;
}

class AuthStatus : public ::testing::TestWithParam<AuthCase> {};

TEST_P(AuthStatus, AnswersOnlyForABooleanLoggedInOfAnObject) {
    EXPECT_EQ(loggedInFromAuthStatusJson(GetParam().output), GetParam().loggedIn);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, AuthStatus,
    ::testing::Values(AuthCase{"LoggedIn", R"({"loggedIn":true,"authMethod":"claude.ai","email":"x"})", true},
                      AuthCase{"LoggedOut", "{\"loggedIn\": false}\n", false},
                      AuthCase{"NoOutput", std::nullopt, std::nullopt}, AuthCase{"Empty", "", std::nullopt},
                      AuthCase{"OnlyWhiteSpace", " \n", std::nullopt},
                      AuthCase{"StringTrue", R"({"loggedIn":"true"})", std::nullopt},
                      AuthCase{"NumberOne", R"({"loggedIn":1})", std::nullopt},
                      AuthCase{"Null", R"({"loggedIn":null})", std::nullopt},
                      AuthCase{"Array", R"({"loggedIn":[true]})", std::nullopt},
                      AuthCase{"Object", R"({"loggedIn":{"value":true}})", std::nullopt},
                      AuthCase{"MissingKey", R"({"logged_in":true})", std::nullopt},
                      AuthCase{"KeyIsCaseSensitive", R"({"LoggedIn":true})", std::nullopt},
                      AuthCase{"NestedDeeper", R"({"status":{"loggedIn":true}})", std::nullopt},
                      AuthCase{"TopLevelArray", R"([{"loggedIn":true}])", std::nullopt},
                      AuthCase{"TopLevelTrue", "true", std::nullopt},
                      AuthCase{"PlainText", "Logged in as someone", std::nullopt},
                      AuthCase{"WarningBeforeTheJson", "warning: old version\n{\"loggedIn\":true}",
                               std::nullopt},
                      AuthCase{"TruncatedJson", R"({"loggedIn":tr)", std::nullopt},
                      AuthCase{"InvalidUtf8", "{\"loggedIn\":true,\"n\":\"\xff\"}", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MindConnection, ShowsABannerForTheTwoStatesTheUserCanActOn) {
    using namespace MindConnections;
    EXPECT_EQ(bannerLine(MindConnection::connected), std::nullopt);
    EXPECT_EQ(bannerLine(MindConnection::off), std::nullopt);
    ASSERT_TRUE(bannerLine(MindConnection::needsConnection));
    ASSERT_TRUE(bannerLine(MindConnection::notInstalled));
    EXPECT_EQ(*bannerLine(MindConnection::needsConnection), "your claude isn't connected");
    EXPECT_EQ(*bannerLine(MindConnection::notInstalled), "claude isn't set up on this machine");
    EXPECT_EQ(UnicodeText::characterCount(*bannerLine(MindConnection::needsConnection)), 27u);
    EXPECT_EQ(UnicodeText::characterCount(*bannerLine(MindConnection::notInstalled)), 35u);

    EXPECT_TRUE(offersReconnect(MindConnection::needsConnection));
    EXPECT_FALSE(offersReconnect(MindConnection::notInstalled));
    EXPECT_FALSE(offersReconnect(MindConnection::connected));
    EXPECT_FALSE(offersReconnect(MindConnection::off));
}

}  // namespace
}  // namespace quillfen
