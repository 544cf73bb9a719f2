#include "Support/PathWalk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"
#include "support/WrappedAccounts.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// A folder of `owner` with `mode`, made with its parents (which are root's, 0755).
fs::path folder(const fs::path& path, unsigned owner, mode_t mode) {
    fs::create_directories(path);
    EXPECT_EQ(::lchown(path.c_str(), owner, owner), 0);
    ::chmod(path.c_str(), mode);
    return path;
}

// The first folder on the way down to `path` that members of `group` may write: where the group is
// shared, the judge names that one. Above a test's own folder it is whatever the machine has: a
// build folder made under a person's umask 002 is its group's to write.
fs::path firstWritableByGroup(const fs::path& path, unsigned group) {
    fs::path at;
    for (const auto& part : path) {
        at /= part;
        struct stat status {};
        if (::stat(at.c_str(), &status) == 0 && status.st_gid == group && (status.st_mode & S_IWGRP) != 0) return at;
    }
    return path;
}

// A path that another program runs later by name (a unit's program, a hook's script, a desktop
// entry's Exec) is for the user's own files only when nobody but the user and root can change
// what it leads to, at any step of the way, links included, and no folder others may write is on
// the way, sticky or not; a path run at once may pass a sticky one.
TEST(PathWalk, APathRunLaterIsTrustedOnlyWhenNobodyButTheUserAndRootCanChangeWhatItLeadsTo) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can lay out folders of other users";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const fs::path root = dir.path();
    constexpr unsigned user = 0;
    constexpr unsigned another = test::kAnotherUser;
    // The user's program, in a folder of theirs, below a sticky shared folder.
    const auto bin = folder(root / "sticky/mine/bin", user, 0755);
    ::chmod((root / "sticky").c_str(), 01777);
    test::writeFile(bin / "quillfen", "#!/bin/sh\n");
    ::chmod((bin / "quillfen").c_str(), 0755);
    test::writeFile(bin / "open-to-all", "#!/bin/sh\n");
    ::chmod((bin / "open-to-all").c_str(), 0757);
    folder(root / "shared/mine", user, 0755);
    ::chmod((root / "shared").c_str(), 0777);
    folder(root / "team/mine", user, 0755);
    ::chmod((root / "team").c_str(), 0775);
    ::lchown((root / "team").c_str(), user, another);
    folder(root / "theirs/mine", user, 0755);
    ::lchown((root / "theirs").c_str(), another, another);
    folder(root / "sticky/their-folder", another, 0755);
    folder(root / "links", user, 0755);
    fs::create_directory_symlink(bin, root / "links/to-bin");
    fs::create_directory_symlink(root / "shared/mine", root / "links/via-shared");
    fs::create_symlink(bin / "quillfen", root / "sticky/their-link");
    ::lchown((root / "sticky/their-link").c_str(), another, another);
    fs::create_symlink(bin / "quillfen", root / "sticky/my-link");
    test::writeFile(root / "own/quillfen", "#!/bin/sh\n");

    const struct {
        const char* what;
        fs::path path;
        std::string why;
        bool stickyOnTheWay = false;  // run later, it is the reason
    } cases[] = {
        {"the user's program below a sticky shared folder", bin / "quillfen", "", true},
        {"nothing there yet, in a folder of the user's", bin / "keepalive-wrapper.sh", "", true},
        {"the user's link in a sticky folder", root / "sticky/my-link", "", true},
        {"through the user's own link", root / "links/to-bin/quillfen", "", true},
        {"the user's program with no shared folder on the way", root / "own/quillfen", ""},
        {"a program others may write", bin / "open-to-all", "others may change " + (bin / "open-to-all").string(),
         true},
        {"a shared folder without the sticky bit", root / "shared/mine/x",
         "others may change " + (root / "shared").string()},
        {"a folder its group may write", root / "team/mine/x", "others may change " + (root / "team").string()},
        {"another user's folder on the way", root / "theirs/mine/x",
         (root / "theirs").string() + " is a folder of another user"},
        {"another user's folder in a sticky folder", root / "sticky/their-folder/x",
         (root / "sticky/their-folder").string() + " is another user's, in a shared folder", true},
        {"another user's link in a sticky folder", root / "sticky/their-link",
         (root / "sticky/their-link").string() + " is another user's, in a shared folder", true},
        {"the user's link whose way passes a shared folder", root / "links/via-shared/x",
         "others may change " + (root / "shared").string()},
        {"nothing there yet, in a sticky shared folder", root / "sticky/new/quillfen",
         (root / "sticky/new").string() + " is missing, in a shared folder", true},
        {"a relative path", "bin/quillfen", "not an absolute path"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathWalk::whyOthersCouldChange(c.path), c.why) << c.what;
        EXPECT_EQ(PathWalk::whyOthersCouldChange(c.path, PathWalk::When::later),
                  c.stickyOnTheWay ? "others may change " + (root / "sticky").string() : c.why)
            << c.what << ", run later";
    }
}

// Accounts as Debian and Ubuntu lay them out: each user has a group of their own (ada's, with
// umask 002 her folders are 0775), beside groups of other kinds.
constexpr unsigned kAda = test::kThirdUser;
constexpr const char* kPasswd =
    "root:x:0:0::/root:/bin/sh\n"
    "ada:x:65533:65533::/home/ada:/bin/sh\n"
    "bob:x:65534:65534::/home/bob:/bin/sh\n"
    "carl:x:2003:2003::/home/carl:/bin/sh\n";
constexpr const char* kGroup =
    "root:x:0:\n"
    "ada:x:65533:\n"
    "bob:x:65534:\n"
    "listed:x:2001:ada\n"
    "team:x:2002:ada,bob\n"
    "carl:x:2003:ada\n"
    "games:x:60:\n"
    "staff:x:50:ada,bob\n";

// As the user, seeing those accounts: for each folder, why others could change a program in it,
// and why root's link in it is not followed.
[[maybe_unused]] const bool kFoldersJudged =
    test::registerChildStep("judge-folders", [](const std::vector<std::string>& folders) {
        std::string said;
        for (const fs::path folder : folders) {
            said += PathWalk::whyOthersCouldChange(folder / "quillfen") + "|" +
                    PathWalk::place(folder / "roots-link", PathWalk::Kind::folder).refusal + "\n";
        }
        return said;
    });

// A folder its group may write counts as the user's only when the group's one member is the user,
// for the program run later by name and for root's link alike.
TEST(PathWalk, AFolderItsGroupMayWriteIsTheUsersOnlyWhenTheUserIsTheGroupsOneMember) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can lay out folders of other users and groups";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto hers = folder(dir.path() / "hers", kAda, 0700);
    const struct {
        const char* what;
        const char* folders;  // each made 0775, of `owner` and `group`; the first is the one shared
        unsigned owner;
        unsigned group;
        bool accessList;
        bool shared;
    } cases[] = {
        {"the user's own group", "own", kAda, 65533, false, false},
        {"a group that lists the user alone but is not theirs", "listed", kAda, 2001, false, true},
        {"a group that lists a second member", "team", kAda, 2002, false, true},
        {"another account's primary group", "carls", kAda, 2003, false, true},
        {"a group with no member at all", "games", kAda, 60, false, true},
        {"the user's own group, with an access list", "acl", kAda, 65533, true, true},
        {"root's folder of group staff, which has a second member", "staff", 0, 50, false, true},
        {"a home and its .local of the user's own group", "home/.local/bin", kAda, 65533, false, false},
        {"a home and its .local of a shared group", "shared-home/.local/bin", kAda, 2002, false, true},
    };
    std::vector<std::string> folders;
    for (const auto& c : cases) {
        fs::path at = dir.path();
        for (const auto& name : fs::path(c.folders)) {
            at /= name;
            fs::create_directory(at);
            ASSERT_EQ(::chown(at.c_str(), c.owner, c.group), 0);
            ::chmod(at.c_str(), 0775);
        }
        if (c.accessList && !test::letAnotherUserWrite(at))
            GTEST_SKIP() << "this file system keeps no access lists";
        fs::create_directory_symlink(hers, at / "roots-link");
        folders.push_back(at);
    }
    const auto said = test::WrappedAccounts(kPasswd, kGroup).run("judge-folders", kAda, 65533, folders);
    ASSERT_TRUE(said) << "the child could not judge: is libnss-wrapper installed?";
    std::istringstream lines(*said);
    for (const auto& c : cases) {
        std::string line;
        std::getline(lines, line);
        const auto first = dir.path() / *fs::path(c.folders).begin();
        EXPECT_EQ(line, c.shared ? "others may change " + first.string() + "|a link of root's in a folder others may write"
                                 : "|")
            << c.what;
    }
}

// A user whom only a directory service knows (SSSD, FreeIPA), in a home of their own group with
// umask 002: the group is theirs by lookups alone, however long the service takes to list its
// accounts (it need not list them at all), and shared once anything says another may be in it.
TEST(PathWalk, ADirectoryUsersOwnGroupIsTheirsByLookupsAloneAndSharedOnceAnotherMayBeInIt) {
    const bool root = ::geteuid() == 0;
    const unsigned uid = root ? 4242 : ::geteuid();
    const unsigned gid = root ? 4242 : ::getegid();
    const std::string number = std::to_string(gid);
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const struct {
        const char* what;
        std::string group;  // as the directory has it
        std::string local;  // the local account file beside root
        unsigned slowListing;
        bool shared;
    } cases[] = {
        {"their own group", "dir-ada:" + number + ":", "", 0, false},
        {"their own group, from a service that takes 30 s to list", "dir-ada:" + number + ":", "", 30, false},
        {"their group, listing them and a second name", "dir-ada:" + number + ":dir-ada,bob", "", 0, true},
        {"their group, a second local account's primary group", "dir-ada:" + number + ":",
         "bob:x:5000:" + number + "::/home/bob:/bin/sh\n", 0, true},
        {"their primary group, named otherwise than they are", "team:" + number + ":", "", 0, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        const auto home = dir.path() / std::to_string(index++) / "home";
        for (const auto& at : {home, home / ".local"}) {
            fs::create_directories(at);
            ASSERT_EQ(::chown(at.c_str(), uid, gid), 0);
            ::chmod(at.c_str(), 0775);
        }
        const test::WrappedAccounts accounts("root:x:0:0::/root:/bin/sh\n" + c.local, "root:x:0:\n",
                                             test::WrappedAccounts::Directory{"dir-ada:" + std::to_string(uid) + ":" + number,
                                                                              c.group, c.slowListing});
        const auto said = accounts.run("judge-folders", uid, gid, {(home / ".local").string()});
        ASSERT_TRUE(said) << c.what << ": the child could not judge in time: is libnss-wrapper installed?";
        EXPECT_EQ(*said, c.shared ? "others may change " + firstWritableByGroup(home, gid).string() + "|\n" : "|\n")
            << c.what;
    }
}

// Another user gives the user's own link a second name in a home others may write: the link is
// the user's, its name there may not be.
TEST(PathWalk, TheUsersLinkGivenASecondNameInAFolderOthersMayWriteIsNotFollowedNorTrusted) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can act as two other users";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto home = folder(dir.path() / "home", kAda, 01777);
    const auto project = folder(home / "projects/p1", kAda, 0755);
    const auto current = folder(home / "links", kAda, 0755) / "current";
    fs::create_directory_symlink(project, current);
    ASSERT_EQ(::lchown(current.c_str(), kAda, kAda), 0);
    // Root makes the second name: the kernel lets another user do the same where
    // fs.protected_hardlinks is off, and a name tells nobody who made it.
    ASSERT_EQ(::link(current.c_str(), (home / ".ostrel").c_str()), 0);

    const int failed = test::asUser(kAda, [&] {
        const bool held[] = {
            PathWalk::place(current / "decisions-log.jsonl", PathWalk::Kind::file).ok(),
            PathWalk::place(home / ".ostrel/decisions-log.jsonl", PathWalk::Kind::file).refusal ==
                "a link with another name, in a folder others may write",
            PathWalk::whyOthersCouldChange(home / ".ostrel/prompt-cadence-hook.sh") ==
                (home / ".ostrel").string() + " is a link with another name, in a shared folder",
        };
        const auto* first = std::find(std::begin(held), std::end(held), false);
        return static_cast<int>(first - std::begin(held) + 1) % static_cast<int>(std::size(held) + 1);
    });
    EXPECT_EQ(failed, 0) << "the first check that failed, counted from 1";
}

// The work folder of a program that installs what it downloads: never a link, not even the
// user's, never someone else's, never open to others.
TEST(PathWalk, APrivateFolderIsTheUsersAloneAndNeverALink) {
    test::TempDir dir;
    const auto made = PathWalk::privateFolder(dir.path() / "updates");
    ASSERT_TRUE(made.ok()) << made.refusal;
    struct stat info {};
    ASSERT_EQ(::fstat(made.fd.get(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    fs::create_directory(dir.path() / "real");
    fs::create_directory_symlink(dir.path() / "real", dir.path() / "linked");
    fs::create_directory(dir.path() / "open");
    ::chmod((dir.path() / "open").c_str(), 0755);
    for (const char* name : {"linked", "open"}) {
        const auto refused = PathWalk::privateFolder(dir.path() / name);
        EXPECT_FALSE(refused.ok()) << name;
        EXPECT_EQ(refused.refusal, "not a folder of the user's alone") << name;
    }
}

}  // namespace
}  // namespace quillfen
