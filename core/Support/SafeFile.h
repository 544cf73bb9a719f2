#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "Support/Clock.h"
#include "Support/PathWalk.h"

// Every file of ours goes through here. Our folders are outside input too: anyone may have put
// a link, a pipe, a device or a huge file where a store or a journal should be, so a file is
// opened without blocking, read only when it is a regular file and only up to a cap, written
// whole beside its place and renamed over it, and appended to only when it is a regular file of
// ours. A place is found one name at a time from the root, each name opened without following;
// a link is followed only when the user or root made it (see `ownPlace`), and the walk ends
// holding the folder the file is in, through which every later step goes: a name swapped on the
// way after the walk changes nothing. Every refusal is one line in the system log, once per file
// and run.
namespace quillfen::SafeFile {

// Our own files follow only the user's own links; files that other tools keep are theirs to link
// as they like.
enum class Links { ours, follow };

// Where a file or folder of ours really is. A link the user made is their layout (dotfiles, a
// synced folder, GNU Stow) and one root made where nobody else could have is the system's (/home
// a link to /var/home): both are followed, at every step of the way and inside a link's target
// too (see PathWalk). What a link leads to must be the user's: a folder of theirs, or a regular
// file of theirs (or, for a file, nothing yet) in a folder of theirs; and a file of ours is only
// ever in a folder of the user's. `path` is then what the links lead to; with no link on the way
// it is the place itself. Anything else is refused, and `refusal` says why.
using Kind = PathWalk::Kind;
struct Place {
    std::filesystem::path path;
    std::string refusal;
    bool followed = false;

    bool refused() const { return !refusal.empty(); }
};
Place ownPlace(const std::filesystem::path& at, Kind kind);

// A file of ours opened at its own place with `flags` (and O_NOFOLLOW, O_CLOEXEC, O_NOCTTY,
// O_NONBLOCK; made 0600 with O_CREAT): a regular file, of this user when a link led to it. When
// it is not, `fd` is -1, `refusal` says why (nothing when there is no file), and `error` is the
// open's error, if it failed. Logs nothing: the caller tells.
struct Opened {
    int fd = -1;
    std::filesystem::path path;
    std::string refusal;
    int error = 0;
};
Opened openOwn(const std::filesystem::path& file, int flags);

struct Contents {
    enum class Status { read, missing, refused };
    Status status = Status::missing;
    std::string bytes;
    // A regular file whose content could not be taken (too large, not readable by us): it is
    // kept aside before anything is written in its place.
    bool keepAside = false;
    // The file's permission bits, when it was read: a file replaced by an edit keeps them.
    unsigned mode = 0;
    // Whose it is, as the descriptor read says: a name in a folder others may add to (a sticky
    // one) may hold another user's file.
    unsigned owner = 0;

    bool wasRead() const { return status == Status::read; }
};

// The whole file when it is a regular file of at most `maxBytes`.
Contents read(const std::filesystem::path& file, std::size_t maxBytes, Links links = Links::ours);

// A descriptor to read a regular file from, opened without blocking (the caller closes it), or -1.
// For a reader that streams a file of another tool rather than taking it whole.
int openForReading(const std::filesystem::path& file, Links links);

// The bytes of `read`, when it read them.
std::optional<std::string> readWhole(const std::filesystem::path& file, std::size_t maxBytes, Links links);

// Fills `buffer` (sized by the caller) from `offset` of an open file; the bytes it could read,
// fewer only at the end of the file, or nothing when a read fails.
std::optional<std::size_t> readAt(int fd, std::uintmax_t offset, std::string& buffer);

// The newest `maxBytes` of a regular file, from a line start (the line the limit cuts through is
// left out whole). No value when there is no such file or it cannot be read.
std::optional<std::string> readTail(const std::filesystem::path& file, std::size_t maxBytes, Links links);

// The mode of a script another program runs for the user (the keep-alive wrapper, Claude Code's
// hook and status line): anyone may read and run it, only the user may change it.
inline constexpr unsigned kScriptMode = 0755;

// Replaces the file whole: written beside it under ".<name>.XXXXXX", given its mode (0600, or
// kScriptMode for a script) and renamed over it, so a reader (or a crash) sees the old content
// or the new, never half. The user's own link stays, and what it leads to is replaced, in its
// own folder; any other link, or a pipe, in its place is replaced, never written through.
// `beforeRename` lets a test stop between the steps.
[[nodiscard]] std::error_code replace(const std::filesystem::path& file, std::string_view bytes,
                                      unsigned mode = 0600, const std::function<void()>& beforeRename = {});

// The same for content handed over piece by piece, in order, so that a large document need not
// be held whole anywhere. `pieces` gives each piece to its sink and answers false to give up, which
// leaves the file as it was.
using Sink = std::function<bool(std::string_view)>;
using Pieces = std::function<bool(const Sink&)>;
[[nodiscard]] std::error_code replace(const std::filesystem::path& file, const Pieces& pieces,
                                      unsigned mode = 0600, const std::function<void()>& beforeRename = {});

// Writes a new file only (a copy, a backup, a download): anything already at the path, a link
// included, is left as it is and the call fails with EEXIST. A file cut short, or given up by
// `pieces`, is removed again.
[[nodiscard]] std::error_code create(const std::filesystem::path& file, std::string_view bytes, unsigned mode = 0600);
[[nodiscard]] std::error_code create(const std::filesystem::path& file, const Pieces& pieces,
                                     unsigned mode = 0600);

// Appends the bytes to a regular file of ours (created 0600) in one write, starting a new line
// first when the file ends inside one (a write cut short by a crash), so the cut line stays a
// line of its own; through the user's own link, to what it leads to. Any other link, a file of
// another user, anything but a regular file, or a file with a second name (a hard link: the line
// reaches that name too) in a folder that others may write is refused. Gives the file's size
// after the append.
std::optional<std::uintmax_t> append(const std::filesystem::path& file, std::string_view bytes);

// Removes the file of ours, or a link in its place as a link, from its folder; nothing there is
// no failure.
[[nodiscard]] std::error_code remove(const std::filesystem::path& file);

// Renames the file (what the user's own link leads to) to "<name>.corrupt-<UTC time>" ("-2", "-3",
// ... when that is taken) and keeps only the newest `kAsideCopiesKept` such copies; only the
// user's own files are counted or removed, whatever else is named so. Nothing at the path is no
// failure.
inline constexpr std::size_t kAsideCopiesKept = 3;
[[nodiscard]] std::error_code moveAside(const std::filesystem::path& file, TimePoint now);

// Removes what a `replace` killed half-way left in `folder`: regular files of ours named
// ".<name>.XXXXXX" for a name `ours` accepts, last changed more than a minute before `now`; and,
// for such a name that is the user's own link, what was left beside the file it leads to.
void removeLeftoverTemporaries(const std::filesystem::path& folder,
                               const std::function<bool(std::string_view name)>& ours, TimePoint now);

// Why a folder could not be had: the error, and in words what was refused or failed ("a link
// that leads nowhere", "Permission denied").
struct Unmade {
    std::error_code error;
    std::string why;
    explicit operator bool() const { return static_cast<bool>(error); }
    const std::string& message() const { return why; }
};

// Creates the folder and its missing parents (0700), or keeps an existing one, or the one the
// user's own link leads to, to its owner. Another user's link on the way, or a folder of another
// user, is refused and logged.
[[nodiscard]] Unmade makePrivateFolder(const std::filesystem::path& folder);

// The same, for a folder shared with other programs (~/.config/autostart, say): the folders it
// makes are 0700, one that is there keeps its mode. Logs nothing: what could not be had is the
// caller's to tell.
[[nodiscard]] Unmade makeFolders(const std::filesystem::path& folder);

// Whether the folder, made now if missing, is ours alone: a real folder (never a link, not even
// one of ours), owned by this user, mode 0700. For a place in a shared folder, where a neighbour
// may have been first and made a link that merely looks like ours.
bool isOwnPrivateFolder(const std::filesystem::path& folder);

// One line in the system log for this file, the first time it is refused in this run.
void refuse(const std::filesystem::path& file, std::string_view why);

// One line in the system log for this file, the first time in this run that a write to it fails:
// "not kept <file>: <why>; <meanwhile>", where `meanwhile` says what becomes of the records until
// a write goes through. A write stopped by the refusal of its place has that line already, and
// one whose pieces gave up was not lost to the file system: neither says more. No error, no line.
void notKept(const std::filesystem::path& file, std::error_code why, std::string_view meanwhile);

}  // namespace quillfen::SafeFile
