#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How a place of ours is found: from the root, one name at a time, each opened without following
// and looked at, so that nobody's link or swap on the way takes us somewhere else. A link is
// followed only where the user made it (their dotfiles) or root did in a folder that nobody else
// may write (/home a link to /var/home); what a link leads to must then be the user's. A link
// with a second name is followed only in such a folder too: elsewhere anyone may have linked it
// there. The walk ends holding a descriptor, and every later step goes through it: a name
// swapped on the way after the walk changes nothing.
namespace quillfen::PathWalk {

// An open descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd();
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    Fd duplicate() const;

private:
    int fd_;
};

// Whether someone other than the user and root may write the folder (or file) open at `fd`: it is
// another user's, others may write it, or its group may and is not the user's own (their primary
// group, named as they are, with no other member), or it has an access list (a folder: a default
// one too), which may name anyone. Fails closed: what cannot be looked at or asked counts as
// shared.
bool othersMayWrite(int fd);

// The name of the account or the group with this number, asked by number; nothing without one.
std::optional<std::string> accountName(uid_t user);
std::optional<std::string> groupName(gid_t group);

// The local account file whose other accounts may not share the user's group (/etc/passwd); a
// test names its own.
void useLocalAccountFile(std::filesystem::path file);

// The names in an open folder ("." and ".." left out), listed through a descriptor of its own so
// that the caller's keeps its place.
std::vector<std::string> namesIn(int folder);

// The whole of `bytes` written to an open file, or false.
bool writeAll(int fd, std::string_view bytes);

// Empties an open folder of ours through its descriptor: every name is removed where it is, a link
// as a link, and a folder is gone into only by its own descriptor, opened without following.
// What cannot be removed stays, for the step that needs its name to say so; so does the name
// `except` in it, when one is given.
void emptyFolder(int folder, std::string_view except = {});

enum class Kind { file, folder };

// Where a walk ended: for a file, the folder that holds it (open, O_PATH) and its name there; for
// a folder, the folder itself.
struct Found {
    Fd folder;
    std::string name;
    std::filesystem::path path;   // where that is, links resolved
    bool followed = false;        // a link was followed on the way
    bool byTheUsersLink = false;  // one of them the user's (root's alone are the system's layout)
    bool lastLinked = false;      // the place's own name came from a link
    bool exists = false;          // the file is there, as `info` says
    struct stat info {};
    std::string refusal;
    int error = 0;  // a folder on the way could not be reached (ENOENT: it is missing)
    // The place as the caller named it, in its folder, once the walk got that far: a write
    // replaces a refused link there with a file of ours, never writing through it.
    Fd namedFolder;
    std::string namedName;

    bool ok() const { return refusal.empty() && error == 0; }
};

// The walk alone. `make` creates the missing folders the caller named (never those a link
// names), each 0700 by its own descriptor.
Found walk(const std::filesystem::path& at, Kind kind, bool make = false);

// One name further from a folder already found (at `path`), as the walk takes it.
Found walkOn(Fd from, const std::filesystem::path& path, const std::string& name, Kind kind);

// The walk, then the place must be the user's: in a folder of theirs, and a file that a link
// leads to theirs too.
Found place(const std::filesystem::path& at, Kind kind, bool make = false);
Found& ownedByTheUser(Found& found, Kind kind);

// A folder of the user's alone: the walk finds the folder it is in, and the folder itself, made
// now when missing, is never a link (not even one of the user's), is the user's and has mode
// 0700. `fd` is open for reading (for *at calls and listing); otherwise `refusal` says why.
struct Private {
    Fd fd;
    std::filesystem::path path;
    std::string refusal;
    int error = 0;

    bool ok() const { return fd.ok(); }
};
Private privateFolder(const std::filesystem::path& folder);

// When what a path leads to is run: by us, right after the judgement (the updater's relaunch, the
// uninstall's removal), or later, by another program that finds it by name with no walk of ours
// (an autostart entry's Exec, a unit's ExecStart, a hook in Claude Code's settings).
enum class When { atOnce, later };

// Why someone other than the user and root could change what `path` leads to before it is run;
// empty when nobody could. Every folder from the root to it is root's or the user's, and one that
// others may write is passed only for a path run at once, where it is sticky with the next step
// root's or the user's and no link with a second name: the sticky bit keeps a name only while its
// owner keeps it, and a boot empties /tmp for another user to make the same path before a later
// run. Links are followed and their way is held to the same rule; the place itself, when it is
// there, is root's or the user's and nobody else may write it (a sticky folder open to all is no
// place to act on). A name not there yet is no reason unless it is in a shared folder, where
// anyone may make it first.
std::string whyOthersCouldChange(const std::filesystem::path& path, When when = When::atOnce);

// How those reasons are worded around the path they name, for whoever says them again to a person.
inline constexpr std::string_view kOthersMayChange = "others may change ";  // before the path
inline constexpr std::string_view kAFolderOfAnotherUser = " is a folder of another user";
inline constexpr std::string_view kAnotherUsersInASharedFolder = " is another user's, in a shared folder";
inline constexpr std::string_view kAnotherUsers = " is another user's";
inline constexpr std::string_view kMissingInASharedFolder = " is missing, in a shared folder";

}  // namespace quillfen::PathWalk
