#include "Log/FileLogStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Support/Paths.h"

namespace quillfen {

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

bool ensureDirectory(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

std::error_code writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

}  // namespace

FileLogStore::FileLogStore() : path_(logDirectory() / "signal-log.json") {}

FileLogStore::FileLogStore(std::filesystem::path path) : path_(std::move(path)) {}

std::filesystem::path FileLogStore::logDirectory() {
    auto dir = Paths::dataDirectory();
    if (ensureDirectory(dir)) return dir;
    std::error_code ec;
    auto fallback = std::filesystem::temp_directory_path(ec);
    if (ec) fallback = "/tmp";
    fallback /= Paths::kAppId;
    ensureDirectory(fallback);
    return fallback;
}

std::optional<std::string> FileLogStore::read() const {
    // Non-blocking, and only a regular file: a pipe left at the store's place must not hang us.
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    if (info.st_size > 0) bytes.reserve(std::min(static_cast<std::size_t>(info.st_size), kMaxReadBytes + 1));
    char buffer[1 << 16];
    while (bytes.size() <= kMaxReadBytes) {
        ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, kMaxReadBytes + 1 - bytes.size()));
        if (got < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

std::error_code FileLogStore::write(std::string_view bytes) {
    return writePieces([bytes](const std::function<bool(std::string_view)>& sink) { return sink(bytes); });
}

std::error_code FileLogStore::writePieces(const Pieces& pieces) {
    // The new content goes to a temporary file beside the old one and is renamed over it only
    // once it is on disk, so a crash leaves either the old file or the new one.
    std::filesystem::path dir = path_.has_parent_path() ? path_.parent_path() : std::filesystem::path(".");
    std::string tempPath = (dir / ("." + path_.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) return lastError();
    std::error_code error;
    const bool whole = pieces([&](std::string_view piece) {
        error = writeAll(fd, piece);
        return !error;
    });
    if (!whole && !error) error = std::make_error_code(std::errc::operation_canceled);
    // The data and the length it needs are enough: the file is new and read back only by name.
    if (!error && ::fdatasync(fd) != 0) error = lastError();
    if (::close(fd) != 0 && !error) error = lastError();
    if (!error && ::rename(tempPath.c_str(), path_.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(tempPath.c_str());
        return error;
    }
    // mkstemp's mode is 0600 less the umask; the store promises exactly 0600. A failure here
    // does not undo the write.
    ::chmod(path_.c_str(), S_IRUSR | S_IWUSR);
    return {};
}

std::error_code FileLogStore::moveAside() {
    std::filesystem::path side = path_;
    side += ".corrupt";
    if (::rename(path_.c_str(), side.c_str()) != 0 && errno != ENOENT) return lastError();
    return {};
}

}  // namespace quillfen
