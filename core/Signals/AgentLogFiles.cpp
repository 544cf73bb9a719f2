#include "Signals/AgentLogFiles.h"

#include <dirent.h>
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

constexpr std::size_t kReadPiece = 1 << 20;

// Opened without blocking so that a pipe named like a log cannot hang the reader; anything but a
// regular file is closed again at once.
int openRegular(const std::filesystem::path& file) {
    return SafeFile::openForReading(file, SafeFile::Links::follow);
}

// Appends everything from the current position to the end; false on a failed read. The buffer
// is sized from the file's length, so a file costs one allocation of its own size; the end is then
// confirmed with a small read, and a file that grew meanwhile is still read to its new end.
bool readToEnd(int fd, std::string& out) {
    std::size_t expected = 0;
    struct stat st {};
    off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (::fstat(fd, &st) == 0 && position >= 0 && st.st_size >= position) {
        expected = static_cast<std::size_t>(st.st_size - position);
    }
    std::size_t filled = out.size();
    out.resize(filled + expected);
    while (filled < out.size()) {
        ssize_t got = ::read(fd, out.data() + filled, out.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            out.resize(filled);
            return got == 0;
        }
        filled += static_cast<std::size_t>(got);
    }
    char more[4096];
    for (;;) {
        ssize_t got = ::read(fd, more, sizeof more);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        out.append(more, static_cast<std::size_t>(got));
    }
}

bool isHidden(const std::filesystem::path& p) {
    std::string name = p.filename().string();
    return !name.empty() && name[0] == '.';
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

std::optional<std::vector<std::filesystem::path>> listFolder(const std::filesystem::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<std::filesystem::path> entries;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        entries.push_back(folder / entry->d_name);
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::optional<std::vector<std::filesystem::path>> walkFolder(const std::filesystem::path& folder) {
    auto top = listFolder(folder);
    if (!top) return std::nullopt;
    std::vector<std::filesystem::path> files;
    // Depth first, in name order, like a recursive enumeration.
    std::vector<std::vector<std::filesystem::path>> stack;
    std::reverse(top->begin(), top->end());
    stack.push_back(std::move(*top));
    while (!stack.empty()) {
        if (stack.back().empty()) {
            stack.pop_back();
            continue;
        }
        std::filesystem::path entry = std::move(stack.back().back());
        stack.back().pop_back();
        if (isHidden(entry)) continue;
        struct stat st {};
        if (::lstat(entry.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (auto inner = listFolder(entry)) {
                std::reverse(inner->begin(), inner->end());
                stack.push_back(std::move(*inner));
            }
            continue;
        }
        files.push_back(std::move(entry));
    }
    return files;
}

std::optional<FileTimes> fileTimes(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    FileTimes times;
    times.modified = TimePoint{} + std::chrono::duration_cast<TimePoint::duration>(
                                       std::chrono::seconds(st.st_mtim.tv_sec) +
                                       std::chrono::nanoseconds(st.st_mtim.tv_nsec));
    times.size = st.st_size > 0 ? static_cast<std::uintmax_t>(st.st_size) : 0;
    return times;
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
    int fd = openRegular(file);
    if (fd < 0) return std::nullopt;
    std::string out;
    bool ok = readToEnd(fd, out);
    ::close(fd);
    if (!ok) return std::nullopt;
    return out;
}

std::string readFrom(const std::filesystem::path& file, std::uintmax_t offset) {
    int fd = openRegular(file);
    if (fd < 0) return {};
    (void)::lseek(fd, static_cast<off_t>(offset), SEEK_SET);
    std::string out;
    if (!readToEnd(fd, out)) out.clear();
    ::close(fd);
    return out;
}

void prefetch(const std::filesystem::path& file, std::uintmax_t offset) {
    int fd = openRegular(file);
    if (fd < 0) return;
    (void)::posix_fadvise(fd, static_cast<off_t>(offset), 0, POSIX_FADV_WILLNEED);
    ::close(fd);
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

LineFile::LineFile(const std::filesystem::path& file) : fd_(openRegular(file)) {}

LineFile::~LineFile() {
    if (fd_ >= 0) ::close(fd_);
}

long LineFile::readInto(std::string& buffer) {
    std::size_t old = buffer.size();
    buffer.resize(old + kReadPiece);
    ssize_t got;
    do {
        got = ::read(fd_, buffer.data() + old, kReadPiece);
    } while (got < 0 && errno == EINTR);
    buffer.resize(old + (got > 0 ? static_cast<std::size_t>(got) : 0));
    return static_cast<long>(got);
}

}  // namespace detail

}  // namespace quillfen::AgentLogFiles
