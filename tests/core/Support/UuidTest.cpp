#include "Support/Uuid.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(Uuid, ReadsEitherCaseAndWritesUpperCase) {
    auto lower = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    auto upper = Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(lower->toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

TEST(Uuid, RejectsAnythingButTheCanonicalForm) {
    for (const char* text :
         {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
          "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F",
          "G621E1F8-C36C-495A-93FC-0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5}"}) {
        EXPECT_FALSE(Uuid::parse(text)) << text;
    }
}

TEST(Uuid, RandomIdentifiersAreVersionFourAndDistinct) {
    auto a = Uuid::random();
    auto b = Uuid::random();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.toString()[14], '4');
    EXPECT_EQ(Uuid::parse(a.toString()), a);
}

}  // namespace
}  // namespace quillfen
