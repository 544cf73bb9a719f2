#include "Support/SafeFile.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "support/CapturedSystemLog.h"
#include "support/FileTimes.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

bool isRegular(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::size_t linesNaming(const test::CapturedSystemLog& log, const fs::path& file) {
    return static_cast<std::size_t>(std::count_if(log.lines.begin(), log.lines.end(), [&](const std::string& line) {
        return line.find("refused " + file.string() + ":") != std::string::npos;
    }));
}

void makeSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST(SafeFile, WhatIsNotARegularFileOfOursIsRefusedOnceInTheLogAndReplacedNeverWrittenThrough) {
    test::TempDir dir;
    test::CapturedSystemLog log;
    const auto target = dir.path() / "outside.jsonl";
    const struct {
        const char* name;
        std::function<void(const fs::path&)> place;
        bool replaceable;
    } cases[] = {
        {"link", [&](const fs::path& p) { test::writeFile(target, "theirs\n"); fs::create_symlink(target, p); }, true},
        {"dangling", [&](const fs::path& p) { fs::remove(target); fs::create_symlink(target, p); }, true},
        {"pipe", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, true},
        {"socket", [](const fs::path& p) { makeSocket(p); }, true},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, false},
        {"large", [](const fs::path& p) { test::writeFile(p, std::string(65, 'x')); }, true},
    };
    for (const auto& c : cases) {
        const auto file = dir.path() / c.name;
        c.place(file);
        const bool hadTarget = fs::exists(target);

        EXPECT_FALSE(SafeFile::read(file, 64).wasRead()) << c.name;
        if (std::string(c.name) != "large") {
            EXPECT_FALSE(SafeFile::append(file, "line\n")) << c.name;
            EXPECT_FALSE(SafeFile::readTail(file, 64, SafeFile::Links::refuse)) << c.name;
        }
        EXPECT_EQ(fs::exists(target), hadTarget) << c.name << ": a dangling link's target is never made";
        if (hadTarget) {
            EXPECT_EQ(test::readFile(target), "theirs\n") << c.name;
        }
        EXPECT_EQ(linesNaming(log, file), 1u) << c.name;

        EXPECT_EQ(!SafeFile::replace(file, "ours\n"), c.replaceable) << c.name;
        if (c.replaceable) {
            EXPECT_TRUE(isRegular(file)) << c.name;
            EXPECT_EQ(modeOf(file), 0600u) << c.name;
            EXPECT_EQ(SafeFile::read(file, 64).bytes, "ours\n") << c.name;
        }
        if (hadTarget) {
            EXPECT_EQ(test::readFile(target), "theirs\n") << c.name;
        }
    }
    const auto left = std::count_if(fs::directory_iterator(dir.path()), fs::directory_iterator(),
                                    [](const auto& e) { return e.path().filename().string()[0] == '.'; });
    EXPECT_EQ(left, 0) << "no temporary is left behind";
}

TEST(SafeFile, AnAppendStartsANewLineAfterACutOffOneAndRefusesAFileOfAnotherUser) {
    test::TempDir dir;
    const auto file = dir.path() / "journal.jsonl";
    EXPECT_EQ(SafeFile::append(file, "{\"a\":1}\n"), 8u);
    EXPECT_EQ(modeOf(file), 0600u);
    test::writeFile(file, "{\"a\":1}\n{\"b\":");
    EXPECT_EQ(SafeFile::append(file, "{\"c\":3}\n"), 22u);
    EXPECT_EQ(test::readFile(file), "{\"a\":1}\n{\"b\":\n{\"c\":3}\n");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(SafeFile::append(file, "{\"d\":4}\n"));
    }
}

TEST(SafeFile, LeftoverTemporariesOfOurOwnAtomicWritesAreRemovedOnceAMinuteOld) {
    test::TempDir dir;
    test::TempDir elsewhere;
    const auto now = test::at("2026-01-05T14:03:00Z");
    const auto old = test::at("2026-01-05T14:01:59Z");
    const auto ours = [](std::string_view name) { return name == "signal-log.json" || name == "promise.json"; };
    test::writeFileModified(elsewhere.path() / "precious", "theirs", old);
    const struct {
        const char* name;
        std::function<void(const fs::path&)> place;
        bool removed;
    } cases[] = {
        {".signal-log.json.a1B2c3", [&](const fs::path& p) { test::writeFileModified(p, "half", old); }, true},
        {".promise.json.Zz9900", [&](const fs::path& p) { test::writeFileModified(p, "half", old); }, true},
        {".promise.json.young1", [&](const fs::path& p) { test::writeFileModified(p, "half", now); }, false},
        {".other.json.a1B2c3", [&](const fs::path& p) { test::writeFileModified(p, "theirs", old); }, false},
        {"signal-log.json.a1B2c3", [&](const fs::path& p) { test::writeFileModified(p, "theirs", old); }, false},
        {".signal-log.json.a1B2c", [&](const fs::path& p) { test::writeFileModified(p, "theirs", old); }, false},
        {".signal-log.json.link00", [&](const fs::path& p) { fs::create_symlink(elsewhere.path() / "precious", p); },
         false},
        {".signal-log.json.fold00", [](const fs::path& p) { fs::create_directory(p); }, false},
    };
    for (const auto& c : cases)
        c.place(dir.path() / c.name);
    SafeFile::removeLeftoverTemporaries(dir.path(), ours, now);
    for (const auto& c : cases)
        EXPECT_EQ(!fs::exists(fs::symlink_status(dir.path() / c.name)), c.removed) << c.name;
    EXPECT_EQ(test::readFile(elsewhere.path() / "precious"), "theirs");
}

TEST(SafeFile, AFolderInASharedPlaceIsOursOnlyWhenMadeByUsOrPrivateToUs) {
    test::TempDir shared;
    test::CapturedSystemLog log;
    const auto folder = shared.path() / "org.quillfen.Quillfen";
    const auto theirs = shared.path() / "theirs";
    const struct {
        const char* what;
        std::function<void()> place;
        bool ours;
    } cases[] = {
        {"missing", [] {}, true},
        {"ours already", [&] { fs::create_directory(folder), ::chmod(folder.c_str(), 0700); }, true},
        {"open to all", [&] { fs::create_directory(folder), ::chmod(folder.c_str(), 0777); }, false},
        {"a link to a private folder",
         [&] { fs::create_directory(theirs), ::chmod(theirs.c_str(), 0700), fs::create_directory_symlink(theirs, folder); },
         false},
        {"a link to an open folder",
         [&] { fs::create_directory(theirs), ::chmod(theirs.c_str(), 0777), fs::create_directory_symlink(theirs, folder); },
         false},
    };
    const mode_t umask = ::umask(0);
    for (const auto& c : cases) {
        fs::remove_all(folder);
        fs::remove_all(theirs);
        c.place();
        const auto theirMode = modeOf(theirs);
        EXPECT_EQ(SafeFile::isOwnPrivateFolder(folder), c.ours) << c.what;
        if (c.ours) {
            EXPECT_EQ(modeOf(folder), 0700u) << c.what;
        }
        EXPECT_EQ(modeOf(theirs), theirMode) << c.what << ": nothing is chmod-ed through a link";
        // A folder of ours in the home is made private; a link there is refused, not followed.
        EXPECT_EQ(!SafeFile::makePrivateFolder(folder), fs::is_directory(fs::symlink_status(folder))) << c.what;
        EXPECT_EQ(modeOf(theirs), theirMode) << c.what;
    }
    ::umask(umask);
    if (::geteuid() == 0) {
        fs::remove_all(folder);
        fs::create_directory(folder);
        ::chmod(folder.c_str(), 0700);
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(SafeFile::isOwnPrivateFolder(folder)) << "another user's folder";
        EXPECT_TRUE(SafeFile::makePrivateFolder(folder));
    }
    EXPECT_EQ(linesNaming(log, folder), 1u);
}

}  // namespace
}  // namespace quillfen
