#include "Log/FileLogStore.h"

#include <sys/stat.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

unsigned modeOf(const std::filesystem::path& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) return 0;
    return info.st_mode & 0777;
}

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileLogStore, ReplacesTheFileWholeForItsOwnerOnly) {
    test::TempDir dir;
    auto file = dir.path() / "store.json";
    test::writeFile(file, "old content that is longer");
    chmod(file.c_str(), 0644);
    FileLogStore store(file);

    EXPECT_FALSE(store.write("[1]"));
    EXPECT_EQ(store.read(), "[1]");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"store.json"});

    EXPECT_FALSE(store.write(""));
    EXPECT_EQ(store.read(), "");
}

TEST(FileLogStore, ReadsOnlyARegularFileAndOnlyUpToItsLimit) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.json").c_str(), 0600), 0);
    EXPECT_EQ(FileLogStore(dir.path() / "pipe.json").read(), std::nullopt) << "and does not wait on it";
    EXPECT_EQ(FileLogStore(dir.path()).read(), std::nullopt);

    auto file = dir.path() / "store.json";
    test::writeFile(file, "[" + std::string(FileLogStore::kMaxReadBytes + 100, ' ') + "]");
    auto bytes = FileLogStore(file).read();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), FileLogStore::kMaxReadBytes + 1);
}

TEST(FileLogStore, AFailedWriteReportsItsErrorAndLeavesNoTrace) {
    test::TempDir dir;
    test::writeFile(dir.path() / "plain-file", "");
    FileLogStore blocked(dir.path() / "plain-file" / "store.json");
    EXPECT_TRUE(blocked.write("[]"));
    EXPECT_FALSE(blocked.read());

    // The target is a folder: the temporary file is written and must be cleaned up.
    std::filesystem::create_directories(dir.path() / "taken.json" / "inside");
    FileLogStore taken(dir.path() / "taken.json");
    EXPECT_TRUE(taken.write("[]"));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"plain-file", "taken.json"}));
}

TEST(FileLogStore, MovesAnUnreadableFileAsideReplacingAnOlderCopy) {
    test::TempDir dir;
    auto file = dir.path() / "signal-log.json";
    auto side = dir.path() / "signal-log.json.corrupt";
    test::writeFile(side, "older copy");
    test::writeFile(file, "[{broken");
    FileLogStore store(file);

    EXPECT_FALSE(store.moveAside());
    EXPECT_EQ(test::readFile(side), "[{broken");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(store.moveAside()) << "nothing left to keep is no failure";
    EXPECT_EQ(test::readFile(side), "[{broken");
}

TEST(FileLogStore, DefaultPlaceIsTheSignalLogInTheDataFolder) {
    test::TestHome home;
    FileLogStore store;
    EXPECT_EQ(store.path(), home.dataDirectory() / "signal-log.json");
    EXPECT_TRUE(std::filesystem::is_directory(home.dataDirectory()));
}

TEST(FileLogStore, DefaultPlaceFallsBackToTheTemporaryFolder) {
    test::TestHome home;
    test::TempDir temp;
    test::writeFile(home.path() / "not-a-folder", "");
    test::ScopedEnv data("XDG_DATA_HOME", (home.path() / "not-a-folder").string());
    test::ScopedEnv tmp("TMPDIR", temp.path().string());

    FileLogStore store;
    EXPECT_EQ(store.path(), temp.path() / "org.quillfen.Quillfen" / "signal-log.json");
    EXPECT_FALSE(store.write("[]"));
}

}  // namespace
}  // namespace quillfen
