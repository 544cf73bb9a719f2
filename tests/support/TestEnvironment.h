#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::test {

// Sets an environment variable (or removes it, with nullopt) for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Berlin's rules, as a POSIX TZ value: the zone needs no time zone database.
inline constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

// Sets TZ (and calls tzset) for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone);

private:
    ScopedEnv env_;
};

// Where temporary folders go: one that nobody but the user and root may change on the whole way
// from the root, so that a copy a test installs there may be named in an entry that another
// program runs later. The system's temporary folder is shared, sticky or not: root's run keeps a
// folder of its own below /run, another user's takes their runtime folder, or else one in the build
// folder; where none holds, the system's it is.
std::filesystem::path temporaryFolder();

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    // Under `parent` instead of the temporary directory.
    explicit TempDir(const std::filesystem::path& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A temporary HOME with its own XDG data, cache and config folders, set in the
// environment for the life of the object; the system's data and config folders are its own too
// (system/share and system/etc/xdg, not made until a test makes them), and an application started
// in it asks no mind, so that no claude tool of the machine's runs.
class TestHome {
public:
    TestHome();
    const std::filesystem::path& path() const { return dir_.path(); }
    // The variables it sets, for a child started in it while another home is this process's.
    std::map<std::string, std::string> environment() const;
    std::filesystem::path dataDirectory() const;
    std::filesystem::path familyDirectory() const;
    // What the first start's window leaves once the user has been through it: later starts open
    // nothing of their own. False when it could not be written.
    bool keepAPromise() const;

private:
    TempDir dir_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};

// Writes a whole file, creating its folders; aborts the test run when it cannot.
void writeFile(const std::filesystem::path& path, std::string_view contents);
// The permission bits, set-id and sticky bits of what the path leads to; 0 when there is nothing.
unsigned modeOf(const std::filesystem::path& path);
std::string readFile(const std::filesystem::path& path);

// Hands the file, or a link as a link, to another user, as only root can. False when this run
// may not; the case that needs it is then skipped, and says so.
inline constexpr unsigned kAnotherUser = 65534;
bool giveToAnotherUser(const std::filesystem::path& path);

// An access list on the file that lets another user write (the group bits become its mask), or
// with `byDefault` the default list of a folder, which what is made in it takes on. False where
// the file system keeps no lists.
bool letAnotherUserWrite(const std::filesystem::path& path, bool byDefault = false);

// How a dotfiles tool (GNU Stow) lays a file of ours out: its folder is a link into the dotfiles,
// or the file alone is; the user's own link, one that another user placed, or the user's own
// link into the dotfiles by way of another user's link on the way there. The last two are
// refused, for `refusal`.
struct DotfilesLayout {
    const char* what;
    bool folderLinked;
    bool anotherUsers;
    bool throughTheirLink = false;
    const char* refusal = "a link of another user";
};
inline constexpr DotfilesLayout kDotfilesLayouts[] = {
    {"the folder linked", true, false},
    {"the file alone linked", false, false},
    {"another user's link for the folder", true, true},
    {"another user's link for the file alone", false, true},
    {"the folder linked through another user's link", true, true, true, "a link to something of another user"},
    {"the file alone linked through another user's link", false, true, true, "a link to something of another user"},
};
// Links `file`, or its folder, into `dotfiles` (where the file keeps its name) as `layout` says.
// The link, or nothing when this run cannot place it.
std::optional<std::filesystem::path> layOut(const DotfilesLayout& layout, const std::filesystem::path& dotfiles,
                                            const std::filesystem::path& file);

// Runs `body` in a child process that has dropped from root to `uid` (and its group), and gives
// what it returns; -1 when the child could not drop or died.
inline constexpr unsigned kThirdUser = 65533;
int asUser(unsigned uid, const std::function<int()>& body);

// What a store kept aside of the file (its "<name>.corrupt-<time>" copies), in the order the
// names sort; and removing them all.
std::vector<std::string> contentsKeptAside(const std::filesystem::path& file);
void removeCopiesKeptAside(const std::filesystem::path& file);

}  // namespace quillfen::test
