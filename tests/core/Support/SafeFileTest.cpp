#include "Support/SafeFile.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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
    // A link to the target, with the link or the target another user's.
    const auto linkAt = [&](const fs::path& p, bool targetThere, bool targetTheirs) {
        if (targetThere) {
            test::writeFile(target, "theirs\n");
        } else {
            fs::remove(target);
        }
        fs::create_symlink(target, p);
        return test::giveToAnotherUser(targetTheirs ? target : p);
    };
    // Each places what it names, and answers false when this run cannot.
    const struct {
        const char* name;
        std::function<bool(const fs::path&)> place;
        bool replaceable;
    } cases[] = {
        {"another user's link", [&](const fs::path& p) { return linkAt(p, true, false); }, true},
        {"the user's link to another user's file", [&](const fs::path& p) { return linkAt(p, true, true); }, true},
        {"another user's dangling link", [&](const fs::path& p) { return linkAt(p, false, false); }, true},
        {"pipe", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; }, true},
        {"socket",
         [](const fs::path& p) {
             makeSocket(p);
             return true;
         },
         true},
        {"folder", [](const fs::path& p) { return fs::create_directory(p); }, false},
        {"large",
         [](const fs::path& p) {
             test::writeFile(p, std::string(65, 'x'));
             return true;
         },
         true},
    };
    for (const auto& c : cases) {
        const auto file = dir.path() / c.name;
        if (!c.place(file)) continue;
        const bool hadTarget = fs::exists(target);

        EXPECT_FALSE(SafeFile::read(file, 64).wasRead()) << c.name;
        if (std::string(c.name) != "large") {
            EXPECT_FALSE(SafeFile::append(file, "line\n")) << c.name;
            EXPECT_FALSE(SafeFile::readTail(file, 64, SafeFile::Links::ours)) << c.name;
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

// A dotfiles folder, as GNU Stow links it in: a link of the user's to a file or folder of theirs.
TEST(SafeFile, TheUsersOwnLinkLeadsToTheirFileOrFolderAndAnyOtherLinkIsRefusedSayingWhy) {
    test::TempDir dir;
    const auto dotfiles = dir.path() / "dotfiles";
    test::writeFile(dotfiles / "file", "{}");
    fs::create_directories(dotfiles / "folder");
    // Another user's file and link, which root alone can place.
    test::writeFile(dotfiles / "their-file", "{}");
    const bool another = test::giveToAnotherUser(dotfiles / "their-file");
    if (another) {
        fs::create_symlink(dotfiles / "file", dir.path() / "theirs");
        test::giveToAnotherUser(dir.path() / "theirs");
    }
    using Kind = SafeFile::Kind;
    const struct {
        const char* what;
        const char* name;
        fs::path target;  // none: placed above
        Kind kind;
        const char* leadsTo;  // in the dotfiles; or, refused, why
        bool followed;
        bool needsAnotherUser;
    } cases[] = {
        {"a file of the user's", "a", dotfiles / "file", Kind::file, "file", true, false},
        {"a link of theirs to it", "b", "a", Kind::file, "file", true, false},
        {"nothing yet in a folder of theirs", "c", dotfiles / "new", Kind::file, "new", true, false},
        {"a folder of theirs", "d", "dotfiles/folder", Kind::folder, "folder", true, false},
        {"a folder, for a file", "e", dotfiles / "folder", Kind::file, "a link to something that is not a file",
         false, false},
        {"a file, for a folder", "f", dotfiles / "file", Kind::folder, "a link to something that is not a folder",
         false, false},
        {"nothing, for a folder", "g", dotfiles / "none", Kind::folder, "a link that leads nowhere", false, false},
        {"another user's link", "theirs", {}, Kind::file, "a link of another user", false, true},
        {"through another user's link", "h", "theirs", Kind::file, "a link to something of another user", false,
         true},
        {"another user's file", "i", dotfiles / "their-file", Kind::file, "a link to something of another user",
         false, true},
    };
    for (const auto& c : cases) {
        if (c.needsAnotherUser && !another) continue;
        const auto at = dir.path() / c.name;
        if (!c.target.empty()) fs::create_symlink(c.target, at);
        const auto place = SafeFile::ownPlace(at, c.kind);
        EXPECT_EQ(place.followed, c.followed) << c.what;
        if (c.followed) {
            EXPECT_EQ(place.path, dotfiles / c.leadsTo) << c.what;
        } else {
            EXPECT_EQ(place.refusal, c.leadsTo) << c.what;
            EXPECT_EQ(place.path, at) << c.what;
        }
    }
    const auto plain = dir.path() / "plain";
    EXPECT_EQ(SafeFile::ownPlace(plain, SafeFile::Kind::file).path, plain);
    test::writeFile(plain, "");
    EXPECT_FALSE(SafeFile::ownPlace(plain, SafeFile::Kind::file).followed);
}

TEST(SafeFile, ThroughTheUsersOwnLinkEveryStepReachesTheirFileAndTheLinkStays) {
    test::TempDir home;
    test::TempDir dotfiles;
    const auto target = dotfiles.path() / "journal.jsonl";
    const auto link = home.path() / "journal.jsonl";
    test::writeFile(target, "one\ntwo");
    ::chmod(target.c_str(), 0644);
    fs::create_symlink(target, link);

    EXPECT_EQ(SafeFile::read(link, 64).bytes, "one\ntwo");
    EXPECT_EQ(SafeFile::append(link, "three\n"), 14u);
    EXPECT_EQ(SafeFile::readTail(link, 6, SafeFile::Links::ours), "three\n");
    EXPECT_FALSE(SafeFile::replace(link, "four\n"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::readFile(target), "four\n");
    EXPECT_EQ(modeOf(target), 0600u);
    EXPECT_FALSE(SafeFile::moveAside(link, test::at("2026-01-05T14:00:00Z")));
    EXPECT_EQ(test::contentsKeptAside(target), std::vector<std::string>{"four\n"});
    EXPECT_TRUE(fs::is_symlink(link)) << "kept aside beside the file, not the link";
    // What the link names is made again, in the user's folder.
    EXPECT_TRUE(SafeFile::append(link, "five\n"));
    EXPECT_EQ(test::readFile(target), "five\n");
    for (const auto& folder : {home.path(), dotfiles.path()}) {
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path() << ": a temporary left";
    }
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
    // The user's link to their promise: its write was left beside the file it leads to.
    fs::create_symlink(elsewhere.path() / "promise.json", dir.path() / "promise.json");
    test::writeFileModified(elsewhere.path() / ".promise.json.k1lLed", "half", old);
    test::writeFileModified(elsewhere.path() / ".precious.k1lLed", "theirs", old);
    SafeFile::removeLeftoverTemporaries(dir.path(), ours, now);
    EXPECT_FALSE(fs::exists(elsewhere.path() / ".promise.json.k1lLed"));
    EXPECT_TRUE(fs::exists(elsewhere.path() / ".precious.k1lLed"));
    for (const auto& f : files)
        EXPECT_EQ(!fs::exists(dir.path() / f.name), f.removed) << f.name;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(test::readFile(elsewhere.path() / "precious"), "theirs");
}

}  // namespace
}  // namespace quillfen
