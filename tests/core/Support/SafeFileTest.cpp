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
    return static_cast<std::size_t>(
        std::count_if(log.lines.begin(), log.lines.end(), [&](const std::string& line) {
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
        {"link",
         [&](const fs::path& p) {
             test::writeFile(target, "theirs\n");
             fs::create_symlink(target, p);
         },
         true},
        {"dangling",
         [&](const fs::path& p) {
             fs::remove(target);
             fs::create_symlink(target, p);
         },
         true},
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

TEST(SafeFile, ANewFileIsMadeOnlyWhereNothingIsAndNotLeftWhenGivenUpHalfWay) {
    test::TempDir dir;
    const auto file = dir.path() / "archive";
    const auto inTwo = [](bool second) {
        return [second](const SafeFile::Sink& sink) { return sink("first ") && second && sink("second"); };
    };
    EXPECT_EQ(SafeFile::create(file, inTwo(false)), std::errc::operation_canceled);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(SafeFile::create(file, inTwo(true)));
    EXPECT_EQ(test::readFile(file), "first second");
    EXPECT_EQ(SafeFile::create(file, inTwo(true)), std::errc::file_exists);
    fs::create_symlink(dir.path() / "elsewhere", dir.path() / "link");
    EXPECT_EQ(SafeFile::create(dir.path() / "link", inTwo(true)), std::errc::file_exists);
    EXPECT_FALSE(fs::exists(dir.path() / "elsewhere"));
}

TEST(SafeFile, LeftoverTemporariesOfOurOwnAtomicWritesAreRemovedOnceAMinuteOld) {
    test::TempDir dir;
    test::TempDir elsewhere;
    const auto now = test::at("2026-01-05T14:03:00Z");
    const auto old = test::at("2026-01-05T14:01:59Z");
    const auto ours = [](std::string_view name) {
        return name == "signal-log.json" || name == "promise.json";
    };
    test::writeFileModified(elsewhere.path() / "precious", "theirs", old);
    const struct {
        const char* name;
        TimePoint modified;
        bool removed;
    } files[] = {
        {".signal-log.json.a1B2c3", old, true}, {".promise.json.Zz9900", old, true},
        {".promise.json.young1", now, false},   {".other.json.a1B2c3", old, false},
        {"signal-log.json.a1B2c3", old, false}, {".signal-log.json.a1B2c", old, false},
    };
    for (const auto& f : files)
        test::writeFileModified(dir.path() / f.name, "half", f.modified);
    // Named as ours, but no regular file: a link to a file elsewhere, and a folder.
    const auto link = dir.path() / ".signal-log.json.link00", folder = dir.path() / ".signal-log.json.fold00";
    fs::create_symlink(elsewhere.path() / "precious", link);
    fs::create_directory(folder);
    SafeFile::removeLeftoverTemporaries(dir.path(), ours, now);
    for (const auto& f : files)
        EXPECT_EQ(!fs::exists(dir.path() / f.name), f.removed) << f.name;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(test::readFile(elsewhere.path() / "precious"), "theirs");
}

}  // namespace
}  // namespace quillfen
