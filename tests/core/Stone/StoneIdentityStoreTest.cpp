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
    StoneIdentityStore open() { return StoneIdentityStore(StoneIdentityStore::defaultDiskStore()); }

    test::TestHome home;
    std::filesystem::path file = home.dataDirectory() / "stone-identity.json";
    std::filesystem::path side = home.dataDirectory() / "stone-identity.json.corrupt";
};

TEST_F(StoneIdentityStoreTest, KeepsTheStoneInTheDataFolderAndClearsItToNull) {
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
    EXPECT_FALSE(std::filesystem::exists(side)) << "null is no damage";
}

TEST_F(StoneIdentityStoreTest, KeepsAnUnreadableFileAsideBeforeItIsFirstOverwritten) {
    const std::string unreadable[] = {
        R"({"schemaVersion":1,"stoneId":"pebble-1c7e","material":"Pebble","temperament":"steady","seed":"1c7e","shapeRevision":1})",
        R"({"schemaVersion":1,"stoneId":"pebble-1c7e","material":"pebble","temperament":"steady","seed":"1c7e","shapeRevision":2})",
        "{\"schemaVersion\":1,",
        "",
    };
    for (const auto& text : unreadable) {
        std::filesystem::remove(side);
        test::writeFile(file, text);
        auto store = open();
        EXPECT_FALSE(store.hasIdentity()) << text;
        EXPECT_EQ(test::readFile(file), text) << "nothing is written at start";

        EXPECT_TRUE(store.save(kFlint));
        EXPECT_EQ(test::readFile(side), text);
        EXPECT_EQ(open().current(), kFlint);
        EXPECT_TRUE(store.clear());
        EXPECT_EQ(test::readFile(side), text) << "only the first write moves the file aside";
    }
}

TEST_F(StoneIdentityStoreTest, AWriteThatFailsLeavesTheNewStoneInMemoryOnly) {
    struct Case {
        const char* name;
        std::string before;  // empty: no file
        std::filesystem::path blocker;
    };
    // A folder where the file or its side copy should go makes the rename fail.
    const Case cases[] = {
        {"file cannot be replaced", "", file / "blocker"},
        {"unreadable file cannot be moved aside", "not json", side / "blocker"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(file);
        std::filesystem::remove_all(side);
        if (!c.before.empty()) test::writeFile(file, c.before);
        std::filesystem::create_directories(c.blocker);

        auto store = open();
        EXPECT_FALSE(store.save(kFlint)) << c.name;
        EXPECT_EQ(store.current(), kFlint) << c.name;
        EXPECT_FALSE(open().hasIdentity()) << c.name << ": after a restart the old content is back";
        if (!c.before.empty()) {
            EXPECT_EQ(test::readFile(file), c.before) << c.name;
        }
        EXPECT_FALSE(store.clear()) << c.name;
        EXPECT_FALSE(store.current()) << c.name;
    }
}

}  // namespace
}  // namespace quillfen
