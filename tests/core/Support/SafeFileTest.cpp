#include "Support/SafeFile.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <future>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
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
    EXPECT_FALSE(SafeFile::remove(link));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link goes, as a link";
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

// /home as root's link to /var/home, as image-based systems have it: the system's own layout,
// followed for a user who is not root; a link of anyone else on the way is not.
TEST(SafeFile, RootsLinkOnTheWayIsFollowedForAnOrdinaryUserAndAnotherUsersIsNot) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can act as an ordinary user and make another user's link";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto real = dir.path() / "var/home";
    fs::create_directories(real / "ada");
    ASSERT_EQ(::chown((real / "ada").c_str(), test::kThirdUser, test::kThirdUser), 0);
    // Left by a run as root: the system's link on the way does not make it another user's link target.
    test::writeFile(real / "ada/ask-history.json", "[]");
    ::chmod((real / "ada/ask-history.json").c_str(), 0644);
    fs::create_directory_symlink("var/home", dir.path() / "home");
    fs::create_directory_symlink("var/home", dir.path() / "theirs");
    test::giveToAnotherUser(dir.path() / "theirs");
    const int failed = test::asUser(test::kThirdUser, [&] {
        const auto family = dir.path() / "home/ada/.ostrel";
        const auto journal = family / "decisions-log.jsonl";
        const bool followed[] = {
            !SafeFile::makePrivateFolder(family),
            SafeFile::append(journal, "line\n") == 5u,
            !SafeFile::replace(family / "promise.json", "{}"),
            SafeFile::read(family / "promise.json", 64).bytes == "{}",
            SafeFile::read(dir.path() / "home/ada/ask-history.json", 64).bytes == "[]",
            SafeFile::ownPlace(journal, SafeFile::Kind::file).path == real / "ada/.ostrel/decisions-log.jsonl",
            !SafeFile::append(dir.path() / "theirs/ada/.ostrel/decisions-log.jsonl", "theirs\n"),
            SafeFile::remove(dir.path() / "theirs/ada/.ostrel/decisions-log.jsonl") ==
                std::errc::operation_not_permitted,
        };
        const auto* first = std::find(std::begin(followed), std::end(followed), false);
        return static_cast<int>(first - std::begin(followed) + 1) % static_cast<int>(std::size(followed) + 1);
    });
    EXPECT_EQ(failed, 0) << "the first check that failed, counted from 1";
    EXPECT_EQ(test::readFile(real / "ada/.ostrel/decisions-log.jsonl"), "line\n");
}

// Another user gives one of root's links to "." (as distributions keep in /usr/bin) a second name
// in a home others may write, as the family folder or as Claude Code's: the link would make that
// folder the home itself. Root did not put it there, so it is not the system's layout.
TEST(SafeFile, RootsLinkThatAnotherUserLinkedIntoAFolderOthersMayWriteIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can act as two other users";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto system = dir.path() / "usr/bin";
    fs::create_directories(system);
    fs::create_directory_symlink(".", system / "X11");
    const auto home = dir.path() / "home";
    fs::create_directory(home);
    ASSERT_EQ(::chown(home.c_str(), test::kThirdUser, test::kThirdUser), 0);
    ::chmod(home.c_str(), 01777);
    test::writeFile(home / "settings.json", "theirs");
    test::giveToAnotherUser(home / "settings.json");
    ::chmod((home / "settings.json").c_str(), 0666);
    // Root makes the second names: the kernel lets another user do the same where
    // fs.protected_hardlinks is off, and a name tells nobody who made it.
    for (const char* name : {".ostrel", ".claude"})
        ASSERT_EQ(::link((system / "X11").c_str(), (home / name).c_str()), 0) << name;

    const int failed = test::asUser(test::kThirdUser, [&] {
        const bool refused[] = {
            SafeFile::makePrivateFolder(home / ".ostrel").error == std::errc::operation_not_permitted,
            !SafeFile::append(home / ".ostrel/decisions-log.jsonl", "line\n"),
            SafeFile::ownPlace(home / ".ostrel/face-feedback.json", SafeFile::Kind::file).refusal ==
                "a link of root's in a folder others may write",
            !SafeFile::read(home / ".claude/settings.json", 64).wasRead(),
            static_cast<bool>(SafeFile::replace(home / ".claude/settings.json", "{}")),
        };
        const auto* first = std::find(std::begin(refused), std::end(refused), false);
        return static_cast<int>(first - std::begin(refused) + 1) % static_cast<int>(std::size(refused) + 1);
    });
    EXPECT_EQ(failed, 0) << "the first check that failed, counted from 1";
    EXPECT_EQ(modeOf(home), 01777u);
    EXPECT_FALSE(fs::exists(home / "decisions-log.jsonl"));
    EXPECT_EQ(test::readFile(home / "settings.json"), "theirs");
}

// Whoever gave the user's notes a second name in a folder others may write, a journal line
// appended under that name would reach the notes too.
TEST(SafeFile, AnAppendNeverReachesAnotherNameOfTheFile) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 01777);
    test::CapturedSystemLog log;
    const auto notes = dir.path() / "notes.txt";
    test::writeFile(notes, "mine\n");
    const auto journal = dir.path() / "decisions-log.jsonl";
    ASSERT_EQ(::link(notes.c_str(), journal.c_str()), 0);
    EXPECT_FALSE(SafeFile::append(journal, "{\"kind\":\"face\"}\n"));
    EXPECT_FALSE(SafeFile::append(journal, "{\"kind\":\"face\"}\n"));
    EXPECT_EQ(test::readFile(notes), "mine\n");
    EXPECT_EQ(linesNaming(log, journal), 1u);
}

// A snapshot of the user's (cp -al) gives the journal a second name. Where nobody else may add
// names to its folder, only the user could have made ours one, and the lines go on; elsewhere ours
// may be a name given to any file of the user's, and the log says that the lines are lost.
TEST(SafeFile, AnAppendToAFileWithASecondNameGoesOnOnlyInAFolderNobodyElseMayWrite) {
    test::TempDir dir;
    test::CapturedSystemLog log;
    const struct {
        const char* folder;
        mode_t mode;
        bool kept;
    } cases[] = {{"private", 0700, true}, {"readable", 0755, true}, {"open", 0777, false}, {"sticky", 01777, false}};
    for (const auto& c : cases) {
        const auto folder = dir.path() / c.folder;
        fs::create_directory(folder);
        ::chmod(folder.c_str(), c.mode);
        const auto snapshot = dir.path() / (std::string(c.folder) + ".snapshot");
        test::writeFile(snapshot, "old\n");
        const auto journal = folder / "decisions-log.jsonl";
        ASSERT_EQ(::link(snapshot.c_str(), journal.c_str()), 0);
        EXPECT_EQ(SafeFile::append(journal, "new\n"), c.kept ? std::optional<std::uintmax_t>(8) : std::nullopt)
            << c.folder;
        EXPECT_EQ(test::readFile(snapshot), c.kept ? "old\nnew\n" : "old\n") << c.folder;
        EXPECT_EQ(linesNaming(log, journal), c.kept ? 0u : 1u) << c.folder;
    }
    EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                            [](const std::string& line) {
                                return line.find("a file with another name (a hard link)") != std::string::npos &&
                                       line.find("lines are not kept while it lasts") != std::string::npos;
                            }),
              2);
}

// Whatever is named like a copy kept aside but is not the user's own file is neither counted
// nor removed: someone who may add names to the folder cannot have the user's copies go.
TEST(SafeFile, OnlyTheUsersOwnCopiesKeptAsideAreCountedOrRemoved) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    test::TempDir dir;
    const auto store = dir.path() / "promise.json";
    const auto copy = [&](const char* stamp) { return store.string() + ".corrupt-" + stamp; };
    const char* theirs[] = {"20250101T000000Z", "20270101T000000Z", "20270101T000000Z-2"};
    for (const char* stamp : theirs) {
        test::writeFile(copy(stamp), "theirs");
        test::giveToAnotherUser(copy(stamp));
    }
    fs::create_symlink(store, copy("20270101T000000Z-3"));
    for (const char* stamp : {"20260101T000000Z", "20260102T000000Z", "20260103T000000Z"})
        test::writeFile(copy(stamp), stamp);
    test::writeFile(store, "unreadable");

    ASSERT_FALSE(SafeFile::moveAside(store, test::at("2026-01-05T14:00:00Z")));
    for (const char* stamp : theirs)
        EXPECT_EQ(test::readFile(copy(stamp)), "theirs") << stamp;
    EXPECT_TRUE(fs::is_symlink(copy("20270101T000000Z-3")));
    EXPECT_FALSE(fs::exists(copy("20260101T000000Z"))) << "the oldest of the user's four";
    for (const char* stamp : {"20260102T000000Z", "20260103T000000Z"})
        EXPECT_EQ(test::readFile(copy(stamp)), stamp);
    EXPECT_EQ(test::readFile(copy("20260105T140000Z")), "unreadable");
}

// A shared folder (0777, not sticky) holds the user's link to their folder; another user turns it,
// again and again, into their own link to a third user's team folder. Each write finds its
// place afresh and then keeps to the folder it found, so none of them ever lands in the team's.
TEST(SafeFile, AParentLinkTurnedToAnotherUsersWhileFilesAreWrittenNeverLeadsAWriteIntoTheirFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give links and folders to other users";
    // In memory where the system has such a folder: thousands of whole-file writes, each synced.
    const bool inMemory = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0;
    test::TempDir dir(inMemory ? fs::path("/dev/shm") : fs::temp_directory_path());
    const auto ours = dir.path() / "ours", team = dir.path() / "team", shared = dir.path() / "shared";
    fs::create_directories(ours);
    fs::create_directories(shared);
    fs::create_directories(team);
    ASSERT_EQ(::chown(team.c_str(), test::kThirdUser, test::kThirdUser), 0);
    ::chmod(team.c_str(), 0777);
    const auto data = shared / "data";
    fs::create_directory_symlink(ours, data);
    // Any name made, removed or renamed in it, and any new mode of its own, changes its times.
    struct stat before {};
    ASSERT_EQ(::stat(team.c_str(), &before), 0);
    std::atomic<bool> stop = false;
    std::thread turner([&] {
        const auto next = shared / "next";
        for (bool toTeam = true; !stop; toTeam = !toTeam) {
            ::symlink((toTeam ? team : ours).c_str(), next.c_str());
            if (toTeam) ::lchown(next.c_str(), test::kAnotherUser, test::kAnotherUser);
            ::rename(next.c_str(), data.c_str());
        }
    });
    for (int i = 0; i < 2000; ++i) {
        (void)SafeFile::replace(data / "heartbeat.json", "{}");
        SafeFile::append(data / "decisions-log.jsonl", "line\n");
        if (!SafeFile::makePrivateFolder(data / "calendar")) fs::remove(ours / "calendar");
    }
    stop = true;
    turner.join();
    struct stat after {};
    ASSERT_EQ(::stat(team.c_str(), &after), 0);
    EXPECT_TRUE(fs::is_empty(team));
    EXPECT_EQ(std::tie(after.st_mtim.tv_sec, after.st_mtim.tv_nsec, after.st_ctim.tv_sec, after.st_ctim.tv_nsec),
              std::tie(before.st_mtim.tv_sec, before.st_mtim.tv_nsec, before.st_ctim.tv_sec, before.st_ctim.tv_nsec));
    EXPECT_EQ(test::readFile(ours / "heartbeat.json"), "{}");
}

// Runs `body` on a thread of its own whose every new folder the calling thread makes instead, then
// hands to `made` before the body goes on: the moment between making a folder and the next step.
// False when this system does not let a thread's calls be trapped.
bool withFoldersMadeBy(const std::function<void(int folder, const char* name)>& made,
                       const std::function<void()>& body) {
    std::promise<int> trapped;
    std::thread worker([&] {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mkdir, 1, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mkdirat, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        const int listener =
            ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
                ? -1
                : static_cast<int>(::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER,
                                             SECCOMP_FILTER_FLAG_NEW_LISTENER, &program));
        trapped.set_value(listener);
        if (listener >= 0) body();
    });
    const int listener = trapped.get_future().get();
    // Until the worker is gone, and its filter with it.
    for (pollfd ready{listener, POLLIN, 0}; listener >= 0 && ::poll(&ready, 1, -1) > 0 && !(ready.revents & POLLHUP);) {
        seccomp_notif call{};
        if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0) continue;
        const bool at = call.data.nr == __NR_mkdirat;
        const int folder = at ? static_cast<int>(call.data.args[0]) : AT_FDCWD;
        // Read as the kernel reads a call's arguments: a checker of threads sees no order in the trap.
        char name[PATH_MAX] = {};
        const iovec into{name, sizeof name - 1}, from{reinterpret_cast<void*>(call.data.args[at ? 1 : 0]), sizeof name - 1};
        (void)::process_vm_readv(::getpid(), &into, 1, &from, 1, 0);
        seccomp_notif_resp answer{call.id, 0, 0, 0};
        if (::mkdirat(folder, name, static_cast<mode_t>(call.data.args[at ? 2 : 1])) == 0) {
            made(folder, name);
        } else {
            answer.error = -errno;
        }
        ::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer);
    }
    worker.join();
    if (listener < 0) return false;
    ::close(listener);
    return true;
}

// Between making a folder and giving it its mode, someone puts a link to a file of the user's in
// its place.
TEST(SafeFile, ANewFolderSwappedForALinkBeforeItGetsItsModeLeavesEveryFileAsItWas) {
    test::TempDir dir;
    const auto file = dir.path() / "notes.txt";
    test::writeFile(file, "mine");
    ::chmod(file.c_str(), 0644);
    const auto swap = [&](int folder, const char* name) {
        const std::string away = std::string(name) + "-away";
        ::renameat(folder, name, folder, away.c_str());
        ::symlinkat(file.c_str(), folder, name);
    };
    if (!withFoldersMadeBy(swap, [&] { (void)SafeFile::makePrivateFolder(dir.path() / "new/inner"); }))
        GTEST_SKIP() << "this system does not let a test trap a thread's calls";
    EXPECT_EQ(modeOf(file), 0644u);
    EXPECT_TRUE(fs::is_directory(dir.path() / "new-away")) << "the folder was made, then swapped";
}

}  // namespace
}  // namespace quillfen
