#include "Stone/StoneIdentityStore.h"

#include <gtest/gtest.h>

#include "Log/FileLogStore.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

const StoneIdentity kFlint =
    *StoneIdentity::make(1, "flint-73ce", StoneMaterial::flint, StoneTemperament::direct, "73ce", 1);

class StoneIdentityStoreTest : public ::testing::Test {
protected:
    StoneIdentityStore open() { return StoneIdentityStore(std::make_shared<FileLogStore>(file)); }

    test::TestHome home;
    std::filesystem::path file = home.dataDirectory() / "stone-identity.json";

    void SetUp() override { std::filesystem::create_directories(home.dataDirectory()); }
};

TEST_F(StoneIdentityStoreTest, KeepsTheStoneInItsFileAndClearsItToNull) {
    auto store = open();
    EXPECT_FALSE(store.hasIdentity());
    EXPECT_TRUE(store.save(kFlint));
    EXPECT_EQ(test::readFile(file), kFlint.encode());
    EXPECT_EQ(open().current(), kFlint);

    EXPECT_TRUE(store.clear());
    EXPECT_FALSE(store.current());
    EXPECT_EQ(test::readFile(file), "null");
    EXPECT_FALSE(open().hasIdentity());
    EXPECT_TRUE(open().save(kFlint));
    EXPECT_TRUE(test::contentsKeptAside(file).empty()) << "null is no damage";
}

TEST_F(StoneIdentityStoreTest, KeepsAnUnreadableFileAsideBeforeItIsFirstOverwritten) {
    const std::string unreadable[] = {
        R"({"schemaVersion":1,"stoneId":"pebble-1c7e","material":"Pebble","temperament":"steady","seed":"1c7e","shapeRevision":1})",
        R"({"schemaVersion":1,"stoneId":"pebble-1c7e","material":"pebble","temperament":"steady","seed":"1c7e","shapeRevision":2})",
        "{\"schemaVersion\":1,",
        "",
    };
    for (const auto& text : unreadable) {
        test::removeCopiesKeptAside(file);
        test::writeFile(file, text);
        auto store = open();
        EXPECT_FALSE(store.hasIdentity()) << text;
        EXPECT_EQ(test::readFile(file), text) << "nothing is written at start";

        EXPECT_TRUE(store.save(kFlint));
        EXPECT_EQ(test::contentsKeptAside(file), std::vector<std::string>{text});
        EXPECT_EQ(open().current(), kFlint);
        EXPECT_TRUE(store.clear());
        EXPECT_EQ(test::contentsKeptAside(file).size(), 1u) << "only the first write moves the file aside";
    }
}

TEST_F(StoneIdentityStoreTest, AWriteThatFailsLeavesTheNewStoneInMemoryOnly) {
    // A folder where the file should go makes the rename fail.
    std::filesystem::create_directories(file / "blocker");
    auto store = open();
    EXPECT_FALSE(store.save(kFlint));
    EXPECT_EQ(store.current(), kFlint);
    EXPECT_FALSE(open().hasIdentity()) << "after a restart the old content is back";
    EXPECT_FALSE(store.clear());
    EXPECT_FALSE(store.current());
}

}  // namespace
}  // namespace quillfen
