#include "Support/PathWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/openat2.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace quillfen::PathWalk {

namespace {

constexpr int kMostLinks = 40;  // as many as the kernel follows
// Deeper than any build an update unpacks or an install leaves, with the folders above it.
constexpr int kMostLevels = 128;

// One name of a path on the way, and whether a link's target brought it: a refusal inside a
// link's target says so.
struct Step {
    std::string name;
    bool inLink = false;
};

void putFirst(std::deque<Step>& steps, const std::filesystem::path& path, bool inLink) {
    std::vector<Step> names;
    for (const auto& part : path) {
        std::string name = part.string();
        if (name.empty() || name == "." || name.find_first_not_of('/') == std::string::npos) continue;
        names.push_back({std::move(name), inLink});
    }
    steps.insert(steps.begin(), names.begin(), names.end());
}

bool isOursOrRoots(uid_t owner) {
    return owner == ::geteuid() || owner == 0;
}

// Opens one name without following it. Where a folder is expected the open asks for one, so that
// an automount point there is mounted as a plain open would have it; a link or a file in its
// place is then opened as what it is.
Fd openStep(int folder, const char* name, bool expectFolder) {
    if (expectFolder) {
        Fd fd(::openat(folder, name, O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC));
        if (fd.ok() || errno != ENOTDIR) return fd;
    }
    return Fd(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

std::filesystem::path& localAccountFile() {
    static std::filesystem::path file = "/etc/passwd";
    return file;
}

// Far beyond any machine's own accounts; a file past it cannot rule anyone out.
constexpr off_t kMostLocalAccountBytes = 16 << 20;
constexpr std::size_t kMostEntryBytes = 1 << 20;

// One lookup by number, through NSS: a directory service answers it even where it lists nothing,
// and a slow one holds up only the judgement that asked.
template <typename Entry, typename Key, typename Lookup>
bool lookUp(Key key, Lookup lookup, Entry& entry, std::vector<char>& buffer) {
    buffer.resize(16384);
    while (true) {
        Entry* found = nullptr;
        const int error = lookup(key, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < kMostEntryBytes) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 && found != nullptr;
    }
}

// Whether a line of the local account file (name:password:uid:gid:...) is another account than
// the user's with `group` as its primary group.
bool isAnotherWith(std::string_view line, gid_t group, uid_t user) {
    std::string_view fields[4];
    for (auto& field : fields) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return false;
        field = line.substr(0, colon);
        line.remove_prefix(colon + 1);
    }
    const auto number = [](std::string_view field, unsigned long& value) {
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        return !field.empty() && error == std::errc() && end == field.data() + field.size();
    };
    unsigned long uid = 0, gid = 0;
    return number(fields[2], uid) && number(fields[3], gid) && gid == group && uid != user;
}

// What the local account file said of one group, kept while the file stands as it was: a
// change to it changes its change time.
struct LocalAnswer {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec changed;
    gid_t group;
    uid_t user;
    bool another;

    bool answers(const struct stat& info, gid_t group, uid_t user) const {
        return device == info.st_dev && inode == info.st_ino && size == info.st_size &&
               changed.tv_sec == info.st_ctim.tv_sec && changed.tv_nsec == info.st_ctim.tv_nsec &&
               this->group == group && this->user == user;
    }
};

// Whether an account of the local account file other than the user has `group` as its primary
// group. That file is read as it stands, never through a listing of the databases; one that
// cannot be read whole rules nobody out.
bool anotherLocalAccountHas(gid_t group, uid_t user) {
    static std::mutex lock;
    static std::optional<LocalAnswer> kept;
    const Fd file(::open(localAccountFile().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.ok() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMostLocalAccountBytes)
        return true;
    {
        const std::lock_guard held(lock);
        if (kept && kept->answers(info, group, user)) return kept->another;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t read = ::read(file.get(), text.data() + got, text.size() - got);
        if (read < 0 && errno == EINTR) continue;
        if (read <= 0) return true;
        got += static_cast<std::size_t>(read);
    }
    bool another = false;
    for (std::string_view rest = text; !rest.empty() && !another;) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        another = isAnotherWith(rest.substr(0, end), group, user);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    const std::lock_guard held(lock);
    kept = LocalAnswer{info.st_dev, info.st_ino, info.st_size, info.st_ctim, group, user, another};
    return another;
}

// A group of the user's own, as useradd -U, Debian, Fedora and FreeIPA make one for each user
// (with umask 002 their folders are then 0775): the user's primary group, named as the user,
// listing nobody else, and no other local account's primary group. Each is asked by number
// every time, so a member added later counts at once; an answer that cannot be had is a
// shared group. A group with nobody in it is never the user's: set-group-id programs write
// through such groups.
bool isTheUsersOwnGroup(gid_t group, uid_t user) {
    std::vector<char> buffer;
    passwd account {};
    if (!lookUp(user, ::getpwuid_r, account, buffer) || account.pw_gid != group || account.pw_name == nullptr)
        return false;
    const std::string name = account.pw_name;
    struct group entry {};
    if (!lookUp(group, ::getgrgid_r, entry, buffer) || entry.gr_name == nullptr || name != entry.gr_name) return false;
    for (char** member = entry.gr_mem; member != nullptr && *member != nullptr; ++member)
        if (name != *member) return false;
    return !anotherLocalAccountHas(group, user);
}

// An access list beyond the mode bits may name other users and groups, and makes the group bits
// its mask; a folder's default list is handed to whatever is made in it. Either counts as shared,
// as `ls -l` shows both with a "+", whatever the mask allows. Attributes cannot be read through an
// O_PATH descriptor, but they can through its name under /proc; without /proc a list cannot be
// ruled out. A file system that keeps no lists says so.
bool hasAccessList(int fd, bool folder) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const auto has = [&self](const char* list) {
        return ::getxattr(self.c_str(), list, nullptr, 0) >= 0 || (errno != ENODATA && errno != ENOTSUP);
    };
    return has("system.posix_acl_access") || (folder && has("system.posix_acl_default"));
}

bool othersMayWrite(int fd, const struct stat& info) {
    if (!isOursOrRoots(info.st_uid) || (info.st_mode & S_IWOTH) != 0) return true;
    if (hasAccessList(fd, S_ISDIR(info.st_mode))) return true;
    return (info.st_mode & S_IWGRP) != 0 && !isTheUsersOwnGroup(info.st_gid, ::geteuid());
}

void emptyFolderAt(int folder, int level, std::string_view except = {}) {
    if (level > kMostLevels) return;
    for (const auto& name : namesIn(folder)) {
        struct stat info {};
        if (name == except || ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(info.st_mode)) {
            ::unlinkat(folder, name.c_str(), 0);
            continue;
        }
        const Fd inner(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!inner.ok()) continue;
        emptyFolderAt(inner.get(), level + 1);
        ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
    }
}

// What a link says, or why it cannot be read.
bool readLink(int link, std::filesystem::path& leadsTo, std::string& why) {
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(link, "", target, sizeof target);
    if (length < 0) {
        why = std::strerror(errno);
        return false;
    }
    if (static_cast<std::size_t>(length) == sizeof target) {
        why = std::strerror(ENAMETOOLONG);
        return false;
    }
    leadsTo = std::string(target, static_cast<std::size_t>(length));
    return true;
}

Found walkFrom(Fd current, std::filesystem::path path, std::deque<Step> steps, Kind kind, bool make) {
    Found found;
    if (!current.ok()) {
        found.error = errno;
        return found;
    }
    const uid_t user = ::geteuid();
    const auto refused = [&](std::string why) {
        found.refusal = std::move(why);
        return std::move(found);
    };
    int links = 0;
    while (!steps.empty()) {
        const Step step = std::move(steps.front());
        steps.pop_front();
        const bool fileStep = steps.empty() && kind == Kind::file;
        if (fileStep && !step.inLink) {
            found.namedFolder = current.duplicate();
            found.namedName = step.name;
        }
        if (step.name == "..") {
            if (fileStep) break;
            current = Fd(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!current.ok()) {
                found.error = errno;
                return found;
            }
            path = path.parent_path();
            continue;
        }
        const char* name = step.name.c_str();
        Fd next = openStep(current.get(), name, !fileStep);
        bool made = false;
        if (!next.ok() && errno == ENOENT && make && !fileStep && !step.inLink) {
            made = ::mkdirat(current.get(), name, S_IRWXU) == 0;
            if (made || errno == EEXIST) next = openStep(current.get(), name, true);
        }
        if (!next.ok()) {
            const int error = errno;
            if (error == ENOENT && fileStep) {
                // Nothing there yet: a file made in this folder.
                found.folder = std::move(current);
                found.name = step.name;
                found.path = path / step.name;
                found.lastLinked = step.inLink;
                return found;
            }
            if (step.inLink && (error == ENOENT || error == ENOTDIR)) return refused("a link that leads nowhere");
            found.error = error;
            return found;
        }
        struct stat info {};
        if (::fstat(next.get(), &info) != 0) {
            found.error = errno;
            return found;
        }
        if (S_ISLNK(info.st_mode)) {
            if (!isOursOrRoots(info.st_uid))
                return refused(step.inLink ? "a link to something of another user" : "a link of another user");
            // Root's link is the system's layout, and a link with a second name is the user's (or
            // root's), only where nobody else could have put it: whoever may add names to the
            // folder may have given one of them this name.
            const bool rootsLink = info.st_uid != user;
            if ((rootsLink || info.st_nlink > 1) && PathWalk::othersMayWrite(current.get()))
                return refused(rootsLink ? "a link of root's in a folder others may write"
                                         : "a link with another name, in a folder others may write");
            if (++links > kMostLinks) return refused("a loop of links");
            std::filesystem::path leadsTo;
            std::string why;
            if (!readLink(next.get(), leadsTo, why)) return refused(why);
            if (leadsTo.is_absolute()) {
                current = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                path = "/";
            }
            found.followed = true;
            found.byTheUsersLink = found.byTheUsersLink || info.st_uid == user;
            putFirst(steps, leadsTo, true);
            if (steps.empty() && kind == Kind::file) break;
            continue;
        }
        if (fileStep) {
            found.folder = std::move(current);
            found.name = step.name;
            found.path = path / step.name;
            found.lastLinked = step.inLink;
            found.exists = true;
            found.info = info;
            return found;
        }
        if (!S_ISDIR(info.st_mode)) {
            if (step.inLink)
                return refused(steps.empty() ? "a link to something that is not a folder" : "a link that leads nowhere");
            found.error = ENOTDIR;
            return found;
        }
        if (made) {
            // A folder of ours, new: swapped for someone else's meanwhile, it is not gone into. Its
            // mode is set on its own descriptor (mkdir's is narrowed by the umask), never by name.
            if (info.st_uid != user) return refused("a folder of another user");
            Fd own(::openat(next.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!own.ok() || ::fchmod(own.get(), S_IRWXU) != 0) {
                found.error = errno;
                return found;
            }
        }
        current = std::move(next);
        path /= step.name;
    }
    if (kind == Kind::file) return refused(found.followed ? "a link to something that is not a file" : "a folder, not a file");
    found.folder = std::move(current);
    found.path = std::move(path);
    return found;
}

}  // namespace

std::optional<std::string> accountName(uid_t user) {
    std::vector<char> buffer;
    passwd account {};
    if (!lookUp(user, ::getpwuid_r, account, buffer) || account.pw_name == nullptr) return std::nullopt;
    return account.pw_name;
}

std::optional<std::string> groupName(gid_t group) {
    std::vector<char> buffer;
    struct group entry {};
    if (!lookUp(group, ::getgrgid_r, entry, buffer) || entry.gr_name == nullptr) return std::nullopt;
    return entry.gr_name;
}

void useLocalAccountFile(std::filesystem::path file) {
    localAccountFile() = std::move(file);
}

bool othersMayWrite(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) != 0 || othersMayWrite(fd, info);
}

std::vector<std::string> namesIn(int folder) {
    std::vector<std::string> names;
    Fd listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* stream = listing.ok() ? ::fdopendir(listing.get()) : nullptr;
    if (stream == nullptr) return names;
    listing.release();
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(stream);
    return names;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void emptyFolder(int folder, std::string_view except) {
    emptyFolderAt(folder, 0, except);
}

Fd::~Fd() {
    if (fd_ >= 0) ::close(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

Fd Fd::duplicate() const {
    return Fd(fd_ < 0 ? -1 : ::fcntl(fd_, F_DUPFD_CLOEXEC, 0));
}

Found walk(const std::filesystem::path& at, Kind kind, bool make) {
    std::deque<Step> steps;
    putFirst(steps, at, false);
    const std::filesystem::path start = at.is_absolute() ? "/" : "";
    // Most ways hold no link at all: the kernel then finds the folder in one call that refuses any
    // link, and only the last name is looked at here. A link on the way (or a kernel without the
    // call) leaves it to the walk a name at a time.
    if (!make) {
        std::deque<Step> last;
        if (kind == Kind::file && !steps.empty()) {
            last.push_back(std::move(steps.back()));
            steps.pop_back();
        }
        std::filesystem::path folder = start;
        for (const auto& step : steps)
            folder /= step.name;
        open_how how{};
        how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        Fd found(static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, folder.empty() ? "." : folder.c_str(), &how, sizeof how)));
        if (found.ok()) return walkFrom(std::move(found), std::move(folder), std::move(last), kind, make);
        steps.insert(steps.end(), last.begin(), last.end());
    }
    return walkFrom(Fd(::open(start.empty() ? "." : "/", O_PATH | O_DIRECTORY | O_CLOEXEC)), start, std::move(steps),
                    kind, make);
}

Found walkOn(Fd from, const std::filesystem::path& path, const std::string& name, Kind kind) {
    return walkFrom(std::move(from), path, {{name, false}}, kind, false);
}

Found& ownedByTheUser(Found& found, Kind kind) {
    if (!found.ok()) return found;
    const uid_t user = ::geteuid();
    struct stat folder {};
    if (::fstat(found.folder.get(), &folder) != 0) {
        found.error = errno;
    } else if (folder.st_uid != user) {
        found.refusal = found.followed          ? "a link to something of another user"
                        : kind == Kind::folder ? "a folder of another user"
                                               : "in a folder of another user";
    } else if (found.exists && (found.byTheUsersLink || found.lastLinked) && found.info.st_uid != user) {
        // Whoever made the link, the file it leads to is the user's; a file of root's that a run as
        // root left in a folder of the user's is still theirs to read when no link names it.
        found.refusal = "a link to something of another user";
    } else if (found.exists && found.lastLinked && !S_ISREG(found.info.st_mode)) {
        found.refusal = "a link to something that is not a file";
    }
    return found;
}

Found place(const std::filesystem::path& at, Kind kind, bool make) {
    Found found = walk(at, kind, make);
    return std::move(ownedByTheUser(found, kind));
}

Private privateFolder(const std::filesystem::path& folder) {
    Private result;
    result.path = folder;
    const Found parent = walk(folder.parent_path(), Kind::folder);
    if (!parent.ok()) {
        result.refusal = parent.refusal;
        result.error = parent.error;
        return result;
    }
    result.path = parent.path / folder.filename();
    const std::string name = folder.filename();
    const bool made = ::mkdirat(parent.folder.get(), name.c_str(), S_IRWXU) == 0;
    Fd fd(::openat(parent.folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd.ok()) {
        result.error = errno;
        result.refusal = errno == ELOOP || errno == ENOTDIR ? "not a folder of the user's alone" : std::strerror(errno);
        return result;
    }
    if (::fstat(fd.get(), &info) != 0) {
        result.error = errno;
        result.refusal = std::strerror(errno);
        return result;
    }
    if (info.st_uid != ::geteuid()) {
        result.refusal = "a folder of another user";
        return result;
    }
    // mkdir's mode is narrowed by the umask, never widened.
    if (made && ::fchmod(fd.get(), S_IRWXU) == 0) info.st_mode = S_IFDIR | S_IRWXU;
    if ((info.st_mode & 07777) != S_IRWXU) {
        result.refusal = "not a folder of the user's alone";
        return result;
    }
    result.fd = std::move(fd);
    return result;
}

std::string whyOthersCouldChange(const std::filesystem::path& at, When when) {
    if (!at.is_absolute()) return "not an absolute path";
    std::deque<Step> steps;
    putFirst(steps, at, false);
    Fd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::filesystem::path path = "/";
    int links = 0;
    while (true) {
        struct stat holder {};
        if (!current.ok() || ::fstat(current.get(), &holder) != 0) return path.string() + ": " + std::strerror(errno);
        if (!isOursOrRoots(holder.st_uid)) return path.string() + std::string(kAFolderOfAnotherUser);
        // A shared folder is passed through only where it is sticky, and only for a run now: there
        // only a name's owner may rename or remove it, while they keep it. As the place itself,
        // anyone may add to it.
        const bool shared = othersMayWrite(current.get(), holder);
        if (shared && (when == When::later || (holder.st_mode & S_ISVTX) == 0 || steps.empty()))
            return std::string(kOthersMayChange) + path.string();
        if (steps.empty()) return {};
        const Step step = std::move(steps.front());
        steps.pop_front();
        if (step.name == "..") {
            current = Fd(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            path = path.parent_path();
            continue;
        }
        const bool last = steps.empty();
        Fd next = openStep(current.get(), step.name.c_str(), !last);
        const auto there = path / step.name;
        if (!next.ok()) {
            // What is not there yet can be made only by whoever may write its folder.
            if (errno == ENOENT) return shared ? there.string() + std::string(kMissingInASharedFolder) : std::string();
            return there.string() + ": " + std::strerror(errno);
        }
        struct stat info {};
        if (::fstat(next.get(), &info) != 0) return there.string() + ": " + std::strerror(errno);
        // In a shared folder only the owner of a name may rename or remove it.
        if (shared && !isOursOrRoots(info.st_uid)) return there.string() + std::string(kAnotherUsersInASharedFolder);
        if (S_ISLNK(info.st_mode)) {
            if (shared && info.st_nlink > 1) return there.string() + " is a link with another name, in a shared folder";
            if (++links > kMostLinks) return there.string() + ": a loop of links";
            std::filesystem::path leadsTo;
            std::string why;
            if (!readLink(next.get(), leadsTo, why)) return there.string() + ": " + why;
            if (leadsTo.is_absolute()) {
                current = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                path = "/";
            }
            putFirst(steps, leadsTo, true);
            continue;
        }
        if (last && !S_ISDIR(info.st_mode)) {
            if (!isOursOrRoots(info.st_uid)) return there.string() + std::string(kAnotherUsers);
            if (othersMayWrite(next.get(), info)) return std::string(kOthersMayChange) + there.string();
            return {};
        }
        if (!S_ISDIR(info.st_mode)) return there.string() + ": " + std::strerror(ENOTDIR);
        current = std::move(next);
        path = there;
    }
}

}  // namespace quillfen::PathWalk
