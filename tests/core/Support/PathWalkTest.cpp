#include "Support/PathWalk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

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

// A path that another program runs later by name (a unit's program, a hook's script, a desktop
// entry's Exec) is for the user's own files only when nobody but the user and root can change
// what it leads to, at any step of the way, links included.
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
    folder(root / "theirs/mine", user, 0755);
    ::lchown((root / "theirs").c_str(), another, another);
    folder(root / "sticky/their-folder", another, 0755);
    folder(root / "links", user, 0755);
    fs::create_directory_symlink(bin, root / "links/to-bin");
    fs::create_directory_symlink(root / "shared/mine", root / "links/via-shared");
    fs::create_symlink(bin / "quillfen", root / "sticky/their-link");
    ::lchown((root / "sticky/their-link").c_str(), another, another);
    fs::create_symlink(bin / "quillfen", root / "sticky/my-link");

    const struct {
        const char* what;
        fs::path path;
        std::string why;
    } cases[] = {
        {"the user's program below a sticky shared folder", bin / "quillfen", ""},
        {"nothing there yet, in a folder of the user's", bin / "keepalive-wrapper.sh", ""},
        {"the user's link in a sticky folder", root / "sticky/my-link", ""},
        {"through the user's own link", root / "links/to-bin/quillfen", ""},
        {"a program others may write", bin / "open-to-all", "others may change " + (bin / "open-to-all").string()},
        {"a shared folder without the sticky bit", root / "shared/mine/x",
         "others may change " + (root / "shared").string()},
        {"a folder its group may write", root / "team/mine/x", "others may change " + (root / "team").string()},
        {"another user's folder on the way", root / "theirs/mine/x",
         (root / "theirs").string() + " is a folder of another user"},
        {"another user's folder in a sticky folder", root / "sticky/their-folder/x",
         (root / "sticky/their-folder").string() + " is another user's, in a shared folder"},
        {"another user's link in a sticky folder", root / "sticky/their-link",
         (root / "sticky/their-link").string() + " is another user's, in a shared folder"},
        {"the user's link whose way passes a shared folder", root / "links/via-shared/x",
         "others may change " + (root / "shared").string()},
        {"nothing there yet, in a sticky shared folder", root / "sticky/new/quillfen",
         (root / "sticky/new").string() + " is missing, in a shared folder"},
        {"a relative path", "bin/quillfen", "not an absolute path"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathWalk::whyOthersCouldChange(c.path), c.why) << c.what;
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
