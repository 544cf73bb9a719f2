#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "Promise/PromiseCatalog.h"
#include "Promise/PromiseStore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

PromiseMove move(std::string phrase, MoveLabel label = MoveLabel::stepOutside) {
    return {Uuid::random(), label, std::move(phrase)};
}

std::vector<std::string> phrases(const Promise& p) {
    std::vector<std::string> out;
    for (const auto& m : p.moves)
        out.push_back(m.phrase);
    return out;
}

TEST(PromiseCatalog, BuildsAPromiseFromTheNormalisedDraft) {
    auto now = at("2026-01-05T14:03:00Z");
    auto corner = move("  walk to the corner\nand back \n", MoveLabel::stepOutside);
    auto blank = move(" \n\t ");
    auto hear = move("name three things I can hear", MoveLabel::breath);

    auto built = PromiseCatalog::buildPromise("\n a heavy\nafternoon  \n", {corner, blank, hear}, now);

    ASSERT_TRUE(std::holds_alternative<Promise>(built));
    const auto& promise = std::get<Promise>(built);
    EXPECT_EQ(promise.schemaVersion, 1);
    EXPECT_EQ(promise.dayPhrase, "a heavy afternoon");
    EXPECT_EQ(phrases(promise),
              (std::vector<std::string>{"walk to the corner and back", "name three things I can hear"}));
    EXPECT_EQ(promise.moves[0].id, corner.id);
    EXPECT_EQ(promise.moves[1].label, MoveLabel::breath);
    EXPECT_EQ(promise.capturedAt, now);
}

TEST(PromiseCatalog, ReportsAMissingDayBeforeMissingMoves) {
    auto now = at("2026-01-05T14:03:00Z");
    struct Case {
        const char* day;
        std::vector<PromiseMove> moves;
        PromiseCatalog::DraftError error;
    };
    const Case cases[] = {
        {" \n \n", {move("walk to the corner and back")}, PromiseCatalog::DraftError::noDay},
        {"", {}, PromiseCatalog::DraftError::noDay},
        {"a scattered day", {move("  "), move("\n")}, PromiseCatalog::DraftError::noMove},
        {"a scattered day", {}, PromiseCatalog::DraftError::noMove},
    };
    for (const auto& c : cases) {
        auto built = PromiseCatalog::buildPromise(c.day, c.moves, now);
        ASSERT_TRUE(std::holds_alternative<PromiseCatalog::DraftError>(built)) << c.day;
        EXPECT_EQ(std::get<PromiseCatalog::DraftError>(built), c.error) << c.day;
    }
}

TEST(PromiseCatalog, NormaliseKeepsInnerSpacesAndCase) {
    EXPECT_EQ(PromiseCatalog::normalize("\u00a0 Coffee  OUTSIDE\r\nno phone\n\n"),
              "Coffee  OUTSIDE\r no phone");
}

TEST(Promise, WalksThroughItsMovesPastTheOneToAvoid) {
    Promise promise{.dayPhrase = "a heavy afternoon", .moves = {move("a"), move("b"), move("c")}};
    const auto& m = promise.moves;
    struct Case {
        std::optional<Uuid> avoiding;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, "a"}, {m[0].id, "b"}, {m[1].id, "c"}, {m[2].id, "a"}, {Uuid::random(), "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(promise.moveForThisMoment(c.avoiding)->phrase, c.expected);

    Promise single{.dayPhrase = "a late night at it", .moves = {move("only")}};
    EXPECT_EQ(single.moveForThisMoment(single.moves[0].id)->phrase, "only");
    EXPECT_FALSE(Promise{}.moveForThisMoment(std::nullopt));
}

TEST(Promise, ReadsAsASentenceOfItsFirstMove) {
    Promise promise{.dayPhrase = "a heavy afternoon",
                    .moves = {move("walk to the corner and back"), move("coffee outside, no phone")}};
    EXPECT_EQ(promise.sentence(), "When I've had a heavy afternoon, I'll walk to the corner and back.");
    EXPECT_EQ(Promise{.dayPhrase = "a scattered day"}.sentence(), "When I've had a scattered day, I'll .");
}

class PromiseStoreTest : public ::testing::Test {
protected:
    std::shared_ptr<FileLogStore> store() { return std::make_shared<FileLogStore>(file); }

    test::TestHome home;
    std::filesystem::path file = home.dataDirectory() / "promise.json";
    Promise promise{
        .dayPhrase = "a heavy afternoon",
        .moves = {{*Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), MoveLabel::breath, "breathe"}},
        .capturedAt = at("2001-01-01T00:00:10Z") + std::chrono::milliseconds(500)};
};

TEST_F(PromiseStoreTest, KeepsThePromiseAcrossARestartInItsFileForm) {
    std::filesystem::create_directories(file.parent_path());
    EXPECT_TRUE(PromiseStore(store()).save(promise));

    auto json = nlohmann::json::parse(test::readFile(file));
    EXPECT_EQ(json["capturedAt"], 10.5);
    EXPECT_EQ(json["schemaVersion"], 1);
    EXPECT_EQ(json["moves"][0]["id"], "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(json["moves"][0]["label"], "breath");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);

    PromiseStore reopened(store());
    EXPECT_TRUE(reopened.hasPromise());
    EXPECT_EQ(reopened.current(), promise);

    reopened.clear();
    EXPECT_FALSE(reopened.hasPromise());
    EXPECT_EQ(test::readFile(file), "null");
    EXPECT_FALSE(PromiseStore(store()).hasPromise());
}

TEST_F(PromiseStoreTest, ReadsNoPromiseFromFilesThatDoNotHoldOneAndKeepsTheirWordsAsideAtTheNextSave) {
    const char* contents[] = {
        "null",
        "",
        R"({"schemaVersion":1,"dayPhrase":"a","moves":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","label":"breath","phrase":"b"}]})",
        R"({"schemaVersion":1,"dayPhrase":"a","capturedAt":0,"moves":[{"id":"not-a-uuid","label":"breath","phrase":"b"}]})",
        R"({"schemaVersion":1,"dayPhrase":"a","capturedAt":0,"moves":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","label":"walk","phrase":"b"}]})",
    };
    for (const char* text : contents) {
        test::removeCopiesKeptAside(file);
        test::writeFile(file, text);
        PromiseStore promises(store());
        EXPECT_FALSE(promises.hasPromise()) << text;
        EXPECT_TRUE(promises.save(promise));
        EXPECT_EQ(test::contentsKeptAside(file), std::string_view(text) == "null"
                                                     ? std::vector<std::string>{}
                                                     : std::vector<std::string>{text});
    }
    EXPECT_FALSE(PromiseStore(std::make_shared<FileLogStore>(home.path() / "missing.json")).hasPromise());
}

TEST_F(PromiseStoreTest, IgnoresUnknownMembersAndAnyOtherSchemaVersion) {
    test::writeFile(file, R"({"schemaVersion":7,"extra":true,"dayPhrase":"a","capturedAt":-1.25,
        "moves":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","label":"custom-other","phrase":"b","x":1}]})");
    auto read = PromiseStore(store()).current();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->schemaVersion, 7);
    EXPECT_EQ(read->moves.at(0).label, MoveLabel::customOther);
    EXPECT_EQ(read->capturedAt, at("2000-12-31T23:59:58Z") + std::chrono::milliseconds(750));
}

TEST_F(PromiseStoreTest, KeepsASavedPromiseInMemoryWhenTheFileCannotBeWritten) {
    // A plain file where the folder should be: even root cannot write below it.
    test::writeFile(home.path() / "blocked", "");
    auto blockedFile = home.path() / "blocked" / "promise.json";

    PromiseStore store(std::make_shared<FileLogStore>(blockedFile));
    EXPECT_FALSE(store.save(promise));
    EXPECT_TRUE(store.hasPromise());
    EXPECT_EQ(store.current(), promise);
    EXPECT_FALSE(PromiseStore(std::make_shared<FileLogStore>(blockedFile)).hasPromise());
}

}  // namespace
}  // namespace quillfen
