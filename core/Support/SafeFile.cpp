#include "Support/SafeFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "Support/PathWalk.h"
#include "Support/SystemLog.h"

namespace quillfen::SafeFile {

namespace {

using PathWalk::Fd;
using PathWalk::Found;
using PathWalk::place;
using PathWalk::writeAll;

constexpr const char* kCategory = "files";
constexpr const char* kAsideInfix = ".corrupt-";
constexpr std::size_t kTemporarySuffix = 7;  // ".XXXXXX"
constexpr auto kLeftoverAge = std::chrono::minutes(1);
constexpr const char* kLinesLost = "its new lines are lost until a write goes through";

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code errorOf(int error) {
    return {error, std::generic_category()};
}

// Whether this is the first lost write of the file in this run; a refusal that stops a write
// counts as the line that tells of it.
bool firstLoss(const std::filesystem::path& file) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> told;
    std::lock_guard lock(mutex);
    return told.insert(file.string()).second;
}

std::string describe(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder, not a file";
    if (S_ISFIFO(mode)) return "a pipe, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

// Where a write goes: the place the walk found; or, when a link there was refused, the place as
// named (so the link is replaced by a file of ours, never written through), but only in a
// folder of the user's. Nothing when the way there was refused.
struct Target {
    int folder = -1;
    std::string name;
};
std::optional<Target> writable(const Found& found, const std::filesystem::path& at) {
    if (found.ok()) return Target{found.folder.get(), found.name};
    if (found.refusal.empty()) return std::nullopt;
    refuse(at, found.refusal);
    struct stat folder {};
    if (!found.namedFolder.ok() || ::fstat(found.namedFolder.get(), &folder) != 0 || folder.st_uid != ::geteuid()) {
        (void)firstLoss(at);
        return std::nullopt;
    }
    return Target{found.namedFolder.get(), found.namedName};
}

std::error_code notWritable(const Found& found) {
    return found.error != 0 ? errorOf(found.error) : std::make_error_code(std::errc::operation_not_permitted);
}

struct Opening {
    Opened opened;
    bool keepAside = false;  // a regular file at the place that could not be opened
};

Opening openFound(const Found& found, int flags) {
    Opening result;
    Opened& opened = result.opened;
    opened.path = found.path;
    if (!found.refusal.empty()) {
        opened.refusal = found.refusal;
        return result;
    }
    if (found.error != 0) {
        opened.error = found.error;
        if (found.error != ENOENT && found.error != ENOTDIR) opened.refusal = std::strerror(found.error);
        return result;
    }
    Fd fd(::openat(found.folder.get(), found.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                   S_IRUSR | S_IWUSR));
    if (!fd.ok()) {
        opened.error = errno;
        if (opened.error == ENOENT || opened.error == ENOTDIR) return result;
        // An open without following finds a link only when one was put there after the walk.
        struct stat placed {};
        const bool there = ::fstatat(found.folder.get(), found.name.c_str(), &placed, AT_SYMLINK_NOFOLLOW) == 0;
        opened.refusal = there && S_ISLNK(placed.st_mode) ? "a symbolic link" : std::strerror(opened.error);
        result.keepAside = there && S_ISREG(placed.st_mode);
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        opened.error = errno;
        opened.refusal = std::strerror(opened.error);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        opened.refusal = describe(info.st_mode);
        return result;
    }
    // Swapped for another's file after the walk.
    if ((found.byTheUsersLink || found.lastLinked) && info.st_uid != ::geteuid()) {
        opened.refusal = "a link to something of another user";
        return result;
    }
    opened.fd = fd.release();
    return result;
}

// Opens for reading without blocking; a refusal is logged here.
Fd openToRead(const std::filesystem::path& file, Links links, Contents& contents, struct stat& info) {
    if (links == Links::ours) {
        Opening opening = openFound(place(file, Kind::file), O_RDONLY);
        Fd fd(opening.opened.fd);
        if (fd.ok()) {
            if (::fstat(fd.get(), &info) != 0) return Fd(-1);
            return fd;
        }
        if (opening.opened.refusal.empty()) return fd;
        contents.status = Contents::Status::refused;
        // A regular file we may not read is still the user's: kept aside before a write.
        contents.keepAside = opening.keepAside;
        refuse(file, opening.opened.refusal);
        return fd;
    }
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.ok()) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return fd;
        contents.status = Contents::Status::refused;
        refuse(file, std::strerror(error));
        return fd;
    }
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        contents.status = Contents::Status::refused;
        refuse(file, describe(info.st_mode));
        return Fd(-1);
    }
    return fd;
}

std::string utcStamp(TimePoint now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// The names in a folder, each with what is there (not followed); the folder is read through a
// descriptor of its own.
template <typename Visit>
void forEachEntry(int folder, Visit&& visit) {
    for (const auto& name : PathWalk::namesIn(folder)) {
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) visit(name, info);
    }
}

bool isTheUsersFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// The copies of one file kept aside, oldest first: by their time, then by their number. Only the
// user's own files count; names someone else placed are not ours to count or to remove.
std::vector<std::string> asideCopies(int folder, const std::string& prefix) {
    std::vector<std::pair<std::pair<std::string, long>, std::string>> found;
    forEachEntry(folder, [&](const std::string& name, const struct stat& info) {
        if (name.rfind(prefix, 0) != 0 || !isTheUsersFile(info)) return;
        std::string rest = name.substr(prefix.size());
        long number = 1;
        if (auto dash = rest.find('-'); dash != std::string::npos) {
            number = std::strtol(rest.c_str() + dash + 1, nullptr, 10);
            rest.resize(dash);
        }
        found.push_back({{rest, number}, name});
    });
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [key, name] : found)
        names.push_back(std::move(name));
    return names;
}

bool isTemporaryNameOf(std::string_view name, const std::function<bool(std::string_view)>& ours) {
    if (name.size() <= 1 + kTemporarySuffix || name.front() != '.') return false;
    const auto suffix = name.substr(name.size() - kTemporarySuffix);
    if (suffix.front() != '.') return false;
    for (char c : suffix.substr(1)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return ours(name.substr(1, name.size() - 1 - kTemporarySuffix));
}

// ".<name>.XXXXXX", made new in the folder: never anything that was there.
Fd temporaryBeside(int folder, const std::string& name, std::string& temporary) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<std::uint64_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint64_t bits = 0;
        if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
            bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
        temporary = "." + name + ".";
        for (std::size_t i = 1; i < kTemporarySuffix; ++i, bits /= sizeof kLetters - 1)
            temporary.push_back(kLetters[bits % (sizeof kLetters - 1)]);
        Fd fd(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                       S_IRUSR | S_IWUSR));
        if (fd.ok() || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return Fd(-1);
}

void removeLeftoversIn(int folder, const std::filesystem::path& path,
                       const std::function<bool(std::string_view name)>& ours, TimePoint now, bool followLinks) {
    const auto before = std::chrono::system_clock::to_time_t(now - kLeftoverAge);
    std::vector<Found> linked;
    forEachEntry(folder, [&](const std::string& name, const struct stat& info) {
        if (followLinks && ours(name) && S_ISLNK(info.st_mode)) {
            // The user's link: its file is replaced beside what it leads to, in that folder.
            Fd start(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
            Found found = PathWalk::walkOn(std::move(start), path, name, Kind::file);
            if (PathWalk::ownedByTheUser(found, Kind::file).ok() && found.followed) linked.push_back(std::move(found));
            return;
        }
        if (!isTemporaryNameOf(name, ours) || !isTheUsersFile(info) || info.st_mtime >= before) return;
        if (::unlinkat(folder, name.c_str(), 0) == 0)
            SystemLog::info(kCategory, "removed " + (path / name).string() + ", left by a write that never ended");
    });
    for (const auto& found : linked) {
        const std::string& name = found.name;
        removeLeftoversIn(found.folder.get(), found.path.parent_path(),
                          [&name](std::string_view n) { return n == name; }, now, false);
    }
}

Unmade makeFolder(const std::filesystem::path& at, bool privateToo) {
    const Found found = place(at, Kind::folder, true);
    if (!found.refusal.empty()) return {std::make_error_code(std::errc::operation_not_permitted), found.refusal};
    if (found.error != 0) return {errorOf(found.error), std::strerror(found.error)};
    if (!privateToo) return {};
    Fd own(::openat(found.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!own.ok() || ::fstat(own.get(), &info) != 0) return {lastError(), std::strerror(errno)};
    if ((info.st_mode & 07777) != S_IRWXU && ::fchmod(own.get(), S_IRWXU) != 0) return {lastError(), std::strerror(errno)};
    return {};
}

}  // namespace

void refuse(const std::filesystem::path& file, std::string_view why) {
    SystemLog::noticeOnce(kCategory, file.string(), "refused " + file.string() + ": " + std::string(why));
}

void notKept(const std::filesystem::path& file, std::error_code why, std::string_view meanwhile) {
    if (!why || why == std::errc::operation_canceled || !firstLoss(file)) return;
    SystemLog::notice(kCategory, "not kept " + file.string() + ": " + why.message() + "; " + std::string(meanwhile));
}

Place ownPlace(const std::filesystem::path& at, Kind kind) {
    const Found found = place(at, kind);
    if (!found.refusal.empty()) return {at, found.refusal, false};
    if (found.error != 0 || !found.followed) return {at, {}, false};
    return {found.path, {}, true};
}

Opened openOwn(const std::filesystem::path& file, int flags) {
    return openFound(place(file, Kind::file), flags).opened;
}

Contents read(const std::filesystem::path& file, std::size_t maxBytes, Links links) {
    Contents contents;
    struct stat info {};
    Fd fd = openToRead(file, links, contents, info);
    if (!fd.ok()) return contents;
    const auto tooLarge = [&] {
        contents = Contents{Contents::Status::refused, {}, true};
        refuse(file, "larger than " + std::to_string(maxBytes) + " bytes");
        return contents;
    };
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return tooLarge();
    // One byte past the size (and the cap) tells a file that grew while it was read.
    std::string& bytes = contents.bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) return tooLarge();
            bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            contents = Contents{Contents::Status::refused, {}, true};
            refuse(file, std::strerror(error));
            return contents;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    contents.status = Contents::Status::read;
    contents.mode = info.st_mode & 07777;
    contents.owner = info.st_uid;
    return contents;
}

int openForReading(const std::filesystem::path& file, Links links) {
    Contents contents;
    struct stat info {};
    return openToRead(file, links, contents, info).release();
}

std::optional<std::string> readWhole(const std::filesystem::path& file, std::size_t maxBytes, Links links) {
    auto contents = read(file, maxBytes, links);
    if (!contents.wasRead()) return std::nullopt;
    return std::move(contents.bytes);
}

std::optional<std::size_t> readAt(int fd, std::uintmax_t offset, std::string& buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got =
            ::pread(fd, buffer.data() + filled, buffer.size() - filled, static_cast<off_t>(offset + filled));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

std::optional<std::string> readTail(const std::filesystem::path& file, std::size_t maxBytes, Links links) {
    Contents contents;
    struct stat info {};
    Fd fd = openToRead(file, links, contents, info);
    if (!fd.ok()) return std::nullopt;
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    const bool cut = size > maxBytes;
    // One byte before the tail tells whether the tail starts exactly on a line start.
    const std::uintmax_t from = cut ? size - maxBytes - 1 : 0;
    std::string text(static_cast<std::size_t>(size - from), '\0');
    // Fewer bytes than asked: the file shrank while it was read.
    const auto filled = readAt(fd.get(), from, text);
    if (!filled) return std::nullopt;
    text.resize(*filled);
    if (cut) {
        const auto lineFeed = text.find('\n');
        text.erase(0, lineFeed == std::string::npos ? text.size() : lineFeed + 1);
    }
    return text;
}

std::error_code replace(const std::filesystem::path& file, std::string_view bytes, unsigned mode,
                        const std::function<void()>& beforeRename) {
    return replace(file, [bytes](const Sink& sink) { return sink(bytes); }, mode, beforeRename);
}

std::error_code replace(const std::filesystem::path& at, const Pieces& pieces, unsigned mode,
                        const std::function<void()>& beforeRename) {
    const Found found = place(at, Kind::file);
    const auto target = writable(found, at);
    if (!target) return notWritable(found);
    std::string temporary;
    Fd fd = temporaryBeside(target->folder, target->name, temporary);
    if (!fd.ok()) return lastError();
    std::error_code error;
    const bool whole = pieces([&](std::string_view piece) {
        if (!writeAll(fd.get(), piece)) error = lastError();
        return !error;
    });
    if (!whole && !error) error = std::make_error_code(std::errc::operation_canceled);
    // The umask narrows a new file's mode; the file has its exact mode before it has its name.
    if (!error && ::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) error = lastError();
    // The data and the length it needs are enough: the file is new and read back only by name.
    if (!error && ::fdatasync(fd.get()) != 0) error = lastError();
    if (::close(fd.release()) != 0 && !error) error = lastError();
    if (!error && beforeRename) beforeRename();
    if (!error && ::renameat(target->folder, temporary.c_str(), target->folder, target->name.c_str()) != 0)
        error = lastError();
    if (error) ::unlinkat(target->folder, temporary.c_str(), 0);
    return error;
}

std::error_code create(const std::filesystem::path& file, std::string_view bytes, unsigned mode) {
    return create(
        file, [bytes](const Sink& sink) { return sink(bytes); }, mode);
}

std::error_code create(const std::filesystem::path& file, const Pieces& pieces, unsigned mode) {
    const Found found = place(file.has_parent_path() ? file.parent_path() : ".", Kind::folder);
    if (!found.refusal.empty()) refuse(file, found.refusal);
    if (!found.ok()) return notWritable(found);
    const std::string name = file.filename();
    const int folder = found.folder.get();
    Fd fd(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                   static_cast<mode_t>(mode)));
    if (!fd.ok()) return lastError();
    std::error_code error;
    if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) error = lastError();
    const bool whole = !error && pieces([&](std::string_view piece) {
        if (!writeAll(fd.get(), piece)) error = lastError();
        return !error;
    });
    if (!whole && !error) error = std::make_error_code(std::errc::operation_canceled);
    if (::close(fd.release()) != 0 && !error) error = lastError();
    if (error) ::unlinkat(folder, name.c_str(), 0);
    return error;
}

std::optional<std::uintmax_t> append(const std::filesystem::path& file, std::string_view bytes) {
    const Found found = place(file, Kind::file);
    // Read and write: the last byte tells whether the file ends inside a line.
    Opened opened = openFound(found, O_RDWR | O_APPEND | O_CREAT).opened;
    Fd fd(opened.fd);
    if (!fd.ok()) {
        if (!opened.refusal.empty()) {
            refuse(file, opened.refusal);
        } else {
            notKept(file, errorOf(opened.error), kLinesLost);
        }
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return std::nullopt;
    if (info.st_uid != ::geteuid()) {
        refuse(file, "owned by another user");
        return std::nullopt;
    }
    // The line lands under the other name too. Where nobody but the user may add names to the
    // folder, only they could have made ours a second name of another file: a snapshot of theirs
    // (cp -al) holds the other. Elsewhere ours may have been made a name of any file of theirs.
    if (info.st_nlink > 1 && PathWalk::othersMayWrite(found.folder.get())) {
        refuse(file, "a file with another name (a hard link), in a folder others may write; lines are not kept while "
                     "it lasts");
        return std::nullopt;
    }
    char last = '\n';
    const bool midLine =
        info.st_size > 0 && ::pread(fd.get(), &last, 1, info.st_size - 1) == 1 && last != '\n';
    std::string line;
    if (midLine) {
        line.reserve(bytes.size() + 1);
        line.push_back('\n');
        line.append(bytes);
        bytes = line;
    }
    if (!writeAll(fd.get(), bytes)) {
        notKept(file, lastError(), kLinesLost);
        return std::nullopt;
    }
    if (::fstat(fd.get(), &info) != 0) return std::nullopt;
    return static_cast<std::uintmax_t>(info.st_size);
}

std::error_code remove(const std::filesystem::path& file) {
    const Found found = place(file.has_parent_path() ? file.parent_path() : ".", Kind::folder);
    if (!found.refusal.empty()) refuse(file, found.refusal);
    if (found.error == ENOENT || found.error == ENOTDIR) return {};
    if (!found.ok()) return notWritable(found);
    if (::unlinkat(found.folder.get(), file.filename().c_str(), 0) != 0 && errno != ENOENT) return lastError();
    return {};
}

std::error_code moveAside(const std::filesystem::path& at, TimePoint now) {
    const Found found = place(at, Kind::file);
    const auto target = writable(found, at);
    if (!target) return notWritable(found);
    const int folder = target->folder;
    const char* file = target->name.c_str();
    struct stat info {};
    if (::fstatat(folder, file, &info, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? std::error_code() : lastError();
    const std::string prefix = target->name + kAsideInfix;
    const std::string stamp = utcStamp(now);
    std::string side;
    for (int number = 1;; ++number) {
        side = prefix + stamp + (number > 1 ? "-" + std::to_string(number) : "");
        // Never over an older copy: that one is the user's too.
        if (::renameat2(folder, file, folder, side.c_str(), RENAME_NOREPLACE) == 0) break;
        if (errno == EEXIST) continue;
        if (errno != EINVAL) return lastError();
        // A file system without the flag: look first, then rename.
        struct stat taken {};
        if (::fstatat(folder, side.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (::renameat(folder, file, folder, side.c_str()) == 0) break;
        return lastError();
    }
    // Kept as every file of ours is, for the user alone, whatever mode it came with.
    if (const Fd copy(::openat(folder, side.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        copy.ok() && ::fstat(copy.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        ::fchmod(copy.get(), S_IRUSR | S_IWUSR);
    auto copies = asideCopies(folder, prefix);
    for (std::size_t i = 0; i + kAsideCopiesKept < copies.size(); ++i)
        ::unlinkat(folder, copies[i].c_str(), 0);
    return {};
}

void removeLeftoverTemporaries(const std::filesystem::path& folder,
                               const std::function<bool(std::string_view name)>& ours, TimePoint now) {
    const Found found = place(folder, Kind::folder);
    if (found.ok()) removeLeftoversIn(found.folder.get(), found.path, ours, now, true);
}

Unmade makePrivateFolder(const std::filesystem::path& folder) {
    auto unmade = makeFolder(folder, true);
    if (unmade) refuse(folder, unmade.why);
    return unmade;
}

Unmade makeFolders(const std::filesystem::path& folder) {
    return makeFolder(folder, false);
}

bool isOwnPrivateFolder(const std::filesystem::path& folder) {
    return PathWalk::privateFolder(folder).ok();
}

}  // namespace quillfen::SafeFile
