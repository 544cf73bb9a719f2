#include "Support/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "Support/Paths.h"
#include "Support/SystemLog.h"

namespace quillfen::SafeFile {

namespace {

constexpr const char* kCategory = "files";
constexpr const char* kAsideInfix = ".corrupt-";
constexpr std::size_t kTemporarySuffix = 7;  // ".XXXXXX"
constexpr auto kLeftoverAge = std::chrono::minutes(1);
constexpr int kMostLinks = 40;  // as many as the kernel follows

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::string describe(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder, not a file";
    if (S_ISFIFO(mode)) return "a pipe, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

// Why an open of ours failed, by what is at the place: an open without following finds a link
// there only when it was put in place after it was looked at.
std::string openFailure(const std::filesystem::path& at, int error) {
    struct stat placed {};
    if ((error == ELOOP || error == ENOTDIR) && ::lstat(at.c_str(), &placed) == 0 && S_ISLNK(placed.st_mode))
        return "a symbolic link";
    return std::strerror(error);
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

// Opens for reading without blocking; a refusal is logged here.
Fd openToRead(const std::filesystem::path& file, Links links, Contents& contents, struct stat& info) {
    if (links == Links::ours) {
        Opened opened = openOwn(file, O_RDONLY);
        Fd fd(opened.fd);
        if (fd.ok()) {
            if (::fstat(fd.get(), &info) != 0) return Fd(-1);
            return fd;
        }
        if (opened.refusal.empty()) return fd;
        contents.status = Contents::Status::refused;
        struct stat placed {};
        // A regular file we may not read is still the user's: kept aside before a write.
        contents.keepAside =
            opened.error != 0 && ::lstat(opened.path.c_str(), &placed) == 0 && S_ISREG(placed.st_mode);
        refuse(file, opened.refusal);
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

// The copies of one file kept aside, oldest first: by their time, then by their number.
std::vector<std::string> asideCopies(const std::filesystem::path& folder, const std::string& prefix) {
    std::vector<std::pair<std::pair<std::string, long>, std::string>> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename();
        if (name.rfind(prefix, 0) != 0) continue;
        std::string rest = name.substr(prefix.size());
        long number = 1;
        if (auto dash = rest.find('-'); dash != std::string::npos) {
            number = std::strtol(rest.c_str() + dash + 1, nullptr, 10);
            rest.resize(dash);
        }
        found.push_back({{rest, number}, std::move(name)});
    }
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

}  // namespace

void refuse(const std::filesystem::path& file, std::string_view why) {
    SystemLog::noticeOnce(kCategory, file.string(), "refused " + file.string() + ": " + std::string(why));
}

Place ownPlace(const std::filesystem::path& at, Kind kind) {
    const uid_t user = ::geteuid();
    std::filesystem::path current = at;
    struct stat info {};
    for (int links = 0;; ++links) {
        if (::lstat(current.c_str(), &info) != 0) {
            // Nothing at the place itself: the caller makes it, or reports what it finds.
            if (links == 0) return {at, {}, false};
            if (kind == Kind::folder || errno != ENOENT) return {at, "a link that leads nowhere", false};
            // A file the user's link names is made, but only in a folder of the user's.
            struct stat folder {};
            if (::stat(current.parent_path().c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
                return {at, "a link that leads nowhere", false};
            if (folder.st_uid != user) return {at, "a link to something of another user", false};
            return {current, {}, true};
        }
        if (!S_ISLNK(info.st_mode)) {
            if (links == 0) return {at, {}, false};
            break;
        }
        if (info.st_uid != user)
            return {at, links == 0 ? "a link of another user" : "a link to something of another user", false};
        if (links == kMostLinks) return {at, "a loop of links", false};
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(current, ec);
        if (ec) return {at, ec.message(), false};
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    if (info.st_uid != user) return {at, "a link to something of another user", false};
    if (kind == Kind::folder && !S_ISDIR(info.st_mode)) return {at, "a link to something that is not a folder", false};
    if (kind == Kind::file && !S_ISREG(info.st_mode)) return {at, "a link to something that is not a file", false};
    return {current, {}, true};
}

Opened openOwn(const std::filesystem::path& file, int flags) {
    const Place place = ownPlace(file, Kind::file);
    Opened opened{-1, place.path, place.refusal, 0};
    if (place.refused()) return opened;
    Fd fd(::open(place.path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, S_IRUSR | S_IWUSR));
    if (!fd.ok()) {
        opened.error = errno;
        if (opened.error != ENOENT && opened.error != ENOTDIR) opened.refusal = openFailure(place.path, opened.error);
        return opened;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        opened.error = errno;
        opened.refusal = std::strerror(opened.error);
        return opened;
    }
    if (!S_ISREG(info.st_mode)) {
        opened.refusal = describe(info.st_mode);
        return opened;
    }
    // Swapped for another's file after the link was looked at.
    if (place.followed && info.st_uid != ::geteuid()) {
        opened.refusal = "a link to something of another user";
        return opened;
    }
    opened.fd = fd.release();
    return opened;
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
    const Place place = ownPlace(at, Kind::file);
    if (place.refused()) refuse(at, place.refusal);
    const std::filesystem::path& file = place.refused() ? at : place.path;
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    Fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.ok()) return lastError();
    std::error_code error;
    const bool whole = pieces([&](std::string_view piece) {
        if (!writeAll(fd.get(), piece)) error = lastError();
        return !error;
    });
    if (!whole && !error) error = std::make_error_code(std::errc::operation_canceled);
    // mkstemp's 0600 is narrowed by the umask; the file has its exact mode before it has its name.
    if (!error && ::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) error = lastError();
    // The data and the length it needs are enough: the file is new and read back only by name.
    if (!error && ::fdatasync(fd.get()) != 0) error = lastError();
    if (::close(fd.release()) != 0 && !error) error = lastError();
    if (!error && beforeRename) beforeRename();
    if (!error && ::rename(temporary.c_str(), file.c_str()) != 0) error = lastError();
    if (error) ::unlink(temporary.c_str());
    return error;
}

std::error_code create(const std::filesystem::path& file, std::string_view bytes, unsigned mode) {
    return create(
        file, [bytes](const Sink& sink) { return sink(bytes); }, mode);
}

std::error_code create(const std::filesystem::path& file, const Pieces& pieces, unsigned mode) {
    Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, static_cast<mode_t>(mode)));
    if (!fd.ok()) return lastError();
    std::error_code error;
    if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) error = lastError();
    const bool whole = !error && pieces([&](std::string_view piece) {
        if (!writeAll(fd.get(), piece)) error = lastError();
        return !error;
    });
    if (!whole && !error) error = std::make_error_code(std::errc::operation_canceled);
    if (::close(fd.release()) != 0 && !error) error = lastError();
    if (error) ::unlink(file.c_str());
    return error;
}

std::optional<std::uintmax_t> append(const std::filesystem::path& file, std::string_view bytes) {
    // Read and write: the last byte tells whether the file ends inside a line.
    Opened opened = openOwn(file, O_RDWR | O_APPEND | O_CREAT);
    Fd fd(opened.fd);
    if (!fd.ok()) {
        if (!opened.refusal.empty()) refuse(file, opened.refusal);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return std::nullopt;
    if (info.st_uid != ::geteuid()) {
        refuse(file, "owned by another user");
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
    if (!writeAll(fd.get(), bytes) || ::fstat(fd.get(), &info) != 0) return std::nullopt;
    return static_cast<std::uintmax_t>(info.st_size);
}

std::error_code moveAside(const std::filesystem::path& at, TimePoint now) {
    const Place place = ownPlace(at, Kind::file);
    const std::filesystem::path& file = place.followed ? place.path : at;
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) return errno == ENOENT ? std::error_code() : lastError();
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const std::string prefix = file.filename().string() + kAsideInfix;
    const std::string stamp = utcStamp(now);
    std::string name;
    for (int number = 1;; ++number) {
        name = prefix + stamp + (number > 1 ? "-" + std::to_string(number) : "");
        const auto side = folder / name;
        // Never over an older copy: that one is the user's too.
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, side.c_str(), RENAME_NOREPLACE) == 0) break;
        if (errno == EEXIST) continue;
        if (errno != EINVAL) return lastError();
        // A file system without the flag: look first, then rename.
        struct stat taken {};
        if (::lstat(side.c_str(), &taken) == 0) continue;
        if (::rename(file.c_str(), side.c_str()) == 0) break;
        return lastError();
    }
    auto copies = asideCopies(folder, prefix);
    for (std::size_t i = 0; i + kAsideCopiesKept < copies.size(); ++i)
        ::unlink((folder / copies[i]).c_str());
    return {};
}

void removeLeftoverTemporaries(const std::filesystem::path& folder,
                               const std::function<bool(std::string_view name)>& ours, TimePoint now) {
    const auto before = std::chrono::system_clock::to_time_t(now - kLeftoverAge);
    std::vector<std::filesystem::path> linked;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename();
        std::error_code linkError;
        if (ours(name) && entry.is_symlink(linkError)) {
            // The user's link: its file is replaced beside what it leads to, in that folder.
            if (const Place place = ownPlace(entry.path(), Kind::file); place.followed)
                linked.push_back(place.path);
            continue;
        }
        if (!isTemporaryNameOf(name, ours)) continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || info.st_mtime >= before)
            continue;
        if (::unlink(entry.path().c_str()) == 0)
            SystemLog::info(kCategory,
                            "removed " + entry.path().string() + ", left by a write that never ended");
    }
    for (const auto& file : linked) {
        const std::string name = file.filename();
        removeLeftoverTemporaries(file.parent_path(), [&name](std::string_view n) { return n == name; }, now);
    }
}

std::error_code makePrivateFolder(const std::filesystem::path& at) {
    const Place place = ownPlace(at, Kind::folder);
    if (place.refused()) {
        refuse(at, place.refusal);
        return std::make_error_code(std::errc::operation_not_permitted);
    }
    const std::filesystem::path& folder = place.path;
    if (auto error = Paths::createPrivateFolders(folder)) {
        refuse(at, error.message());
        return error;
    }
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.ok()) {
        const auto error = lastError();
        refuse(at, openFailure(folder, error.value()));
        return error;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return lastError();
    if (info.st_uid != ::geteuid()) {
        refuse(at, "a folder of another user");
        return std::make_error_code(std::errc::operation_not_permitted);
    }
    if ((info.st_mode & 07777) != S_IRWXU && ::fchmod(fd.get(), S_IRWXU) != 0) return lastError();
    return {};
}

bool isOwnPrivateFolder(const std::filesystem::path& folder) {
    const bool made = ::mkdir(folder.c_str(), S_IRWXU) == 0;
    if (made) {
        // mkdir's mode is narrowed by the umask, never widened.
        Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.ok()) ::fchmod(fd.get(), S_IRWXU);
    }
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 07777) == S_IRWXU;
}

}  // namespace quillfen::SafeFile
