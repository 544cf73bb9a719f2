#include "Signals/AgentLogFiles.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Signals/AIToolReader.h"
#include "Support/SafeFile.h"

namespace quillfen::AgentLogFiles {

namespace {

// Codex keeps its sessions by year, month and day; a deeper tree is not walked to its end, so a
// walk never holds more than this many folders open.
constexpr int kDeepestFolder = 16;

bool isHidden(std::string_view name) {
    return !name.empty() && name[0] == '.';
}

bool isLogName(std::string_view name) {
    return std::filesystem::path(name).extension() == ".jsonl";
}

TimePoint modifiedAt(const struct stat& info) {
    return TimePoint{} +
           std::chrono::duration_cast<TimePoint::duration>(std::chrono::seconds(info.st_mtim.tv_sec) +
                                                           std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

Folder folderFound(PathWalk::Found& found, const std::filesystem::path& at) {
    PathWalk::ownedByTheUser(found, PathWalk::Kind::folder);
    if (!found.refusal.empty()) SafeFile::refuse(at, found.refusal);
    if (!found.ok()) return {};
    return {std::make_shared<const PathWalk::Fd>(std::move(found.folder)), std::move(found.path)};
}

// The log called `name` in `folder`, whose entry there is `entry` (not followed).
std::optional<LogFile> logFile(const Folder& folder, const std::string& name, struct stat entry) {
    LogFile log{name, {}, 0, folder.fd, name, false};
    if (S_ISLNK(entry.st_mode)) {
        PathWalk::Found found =
            PathWalk::walkOn(folder.fd->duplicate(), folder.path, name, PathWalk::Kind::file);
        PathWalk::ownedByTheUser(found, PathWalk::Kind::file);
        if (!found.refusal.empty()) SafeFile::refuse(folder.path / name, found.refusal);
        if (!found.ok() || !found.exists) return std::nullopt;
        entry = found.info;
        log.folder = std::make_shared<const PathWalk::Fd>(std::move(found.folder));
        log.nameThere = std::move(found.name);
        log.linked = true;
    }
    log.modified = modifiedAt(entry);
    log.size = entry.st_size > 0 ? static_cast<std::uintmax_t>(entry.st_size) : 0;
    return log;
}

void collectLogs(const Folder& folder, TimePoint since, bool below, int depth, std::vector<LogFile>& logs) {
    for (const auto& name : namesIn(folder)) {
        if (below && isHidden(name)) continue;
        struct stat entry {};
        if (::fstatat(folder.fd->get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (below && S_ISDIR(entry.st_mode)) {
            if (depth >= kDeepestFolder) continue;
            if (const Folder inner = subFolder(folder, name))
                collectLogs(inner, since, below, depth + 1, logs);
            continue;
        }
        if (!isLogName(name)) continue;
        auto log = logFile(folder, name, entry);
        if (log && log->modified >= since) logs.push_back(std::move(*log));
    }
}

// Opened without following and without blocking, so that a pipe named like a log cannot hang the
// reader; anything but a regular file (and, where a link led, one of the user's) is closed again.
PathWalk::Fd openLog(const LogFile& log) {
    PathWalk::Fd fd(::openat(log.folder->get(), log.nameThere.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.ok() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return PathWalk::Fd();
    if (log.linked && info.st_uid != ::geteuid()) return PathWalk::Fd();
    return fd;
}

// Length of the valid UTF-8 sequence at `i`, or 0 when the bytes there do not start one.
// `maximal` receives how many bytes belong to the invalid subpart when the result is 0.
std::size_t sequenceAt(const unsigned char* s, std::size_t n, std::size_t i, std::size_t& maximal) {
    unsigned char c = s[i];
    maximal = 1;
    std::size_t length;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= n) {
            maximal = k;
            return 0;
        }
        unsigned char b = s[i + k];
        unsigned char low = k == 1 ? lo : 0x80;
        unsigned char high = k == 1 ? hi : 0xBF;
        if (b < low || b > high) {
            maximal = k;
            return 0;
        }
    }
    return length;
}

// Index of the first invalid byte, or `n` when all is valid. Runs of ASCII go eight at a time.
std::size_t firstInvalid(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        std::size_t maximal;
        std::size_t length = sequenceAt(s, n, i, maximal);
        if (length == 0) return i;
        i += length;
    }
    return n;
}

}  // namespace

Folder openFolder(const std::filesystem::path& top, const std::filesystem::path& below) {
    PathWalk::Found found = PathWalk::walk(top, PathWalk::Kind::folder);
    Folder folder = folderFound(found, top);
    for (const auto& part : below) {
        if (!folder) break;
        folder = subFolder(folder, part.string());
    }
    return folder;
}

Folder subFolder(const Folder& folder, const std::string& name) {
    PathWalk::Found found =
        PathWalk::walkOn(folder.fd->duplicate(), folder.path, name, PathWalk::Kind::folder);
    return folderFound(found, folder.path / name);
}

std::vector<std::string> namesIn(const Folder& folder) {
    if (!folder) return {};
    std::vector<std::string> names = PathWalk::namesIn(folder.fd->get());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<LogFile> logsIn(const Folder& folder, TimePoint since) {
    std::vector<LogFile> logs;
    if (folder) collectLogs(folder, since, false, 0, logs);
    return logs;
}

std::vector<LogFile> logsBelow(const Folder& folder, TimePoint since) {
    std::vector<LogFile> logs;
    if (folder) collectLogs(folder, since, true, 0, logs);
    return logs;
}

std::optional<std::string> read(const LogFile& log, std::uintmax_t offset, std::size_t maxBytes) {
    const PathWalk::Fd fd = openLog(log);
    if (!fd.ok()) return std::nullopt;
    std::string bytes(maxBytes, '\0');
    const auto got = SafeFile::readAt(fd.get(), offset, bytes);
    if (!got) return std::nullopt;
    bytes.resize(*got);
    return bytes;
}

void prefetch(const LogFile& log, std::uintmax_t offset, std::size_t length) {
    if (length == 0) return;
    const PathWalk::Fd fd = openLog(log);
    if (fd.ok())
        (void)::posix_fadvise(fd.get(), static_cast<off_t>(offset), static_cast<off_t>(length),
                              POSIX_FADV_WILLNEED);
}

bool isValidUtf8(std::string_view bytes) {
    return firstInvalid(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == bytes.size();
}

std::string lossyUtf8(std::string bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = firstInvalid(s, n);
    if (i == n) return bytes;
    std::string out;
    out.reserve(n + 16);
    out.append(bytes, 0, i);
    while (i < n) {
        std::size_t maximal;
        std::size_t length = sequenceAt(s, n, i, maximal);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            i += maximal;
            continue;
        }
        std::size_t next = i + length;
        std::size_t runEnd = next + firstInvalid(s + next, n - next);
        out.append(bytes, i, runEnd - i);
        i = runEnd;
    }
    return out;
}

std::optional<TimePoint> timestampOfLine(std::string_view line) {
    static constexpr std::string_view kKey = "\"timestamp\":\"";
    const void* found = ::memmem(line.data(), line.size(), kKey.data(), kKey.size());
    if (found == nullptr) return std::nullopt;
    std::size_t start = static_cast<std::size_t>(static_cast<const char*>(found) - line.data()) + kKey.size();
    std::size_t end = line.find('"', start);
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view value = line.substr(start, end - start);
    if (auto t = AIToolReader::isoFrac(value)) return t;
    return AIToolReader::isoPlain(value);
}

namespace detail {

LineFile::LineFile(const LogFile& log, std::size_t piece)
    : fd_(openLog(log).release()), left_(log.size), piece_(piece) {}

LineFile::~LineFile() {
    if (fd_ >= 0) ::close(fd_);
}

long LineFile::readInto(std::string& buffer) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uintmax_t>(piece_, left_));
    if (piece == 0) return 0;
    const std::size_t old = buffer.size();
    buffer.resize(old + piece);
    ssize_t got;
    do {
        got = ::read(fd_, buffer.data() + old, piece);
    } while (got < 0 && errno == EINTR);
    buffer.resize(old + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got > 0) left_ -= static_cast<std::uintmax_t>(got);
    return static_cast<long>(got);
}

}  // namespace detail

}  // namespace quillfen::AgentLogFiles
