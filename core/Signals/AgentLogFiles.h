#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Support/Clock.h"

// Cheap, defensive access to the logs other tools write: listing folders, reading a file whole
// or from its tail, checking UTF-8 and splitting lines. Nothing here throws.
namespace quillfen::AgentLogFiles {

// The entries of a folder, hidden ones included, sorted by name; none when it cannot be listed.
std::optional<std::vector<std::filesystem::path>> listFolder(const std::filesystem::path& folder);

// Every file below `folder`, hidden files and folders left out, symbolic links to folders not
// followed; sub-folders that cannot be listed are passed over. None when `folder` itself cannot be.
std::optional<std::vector<std::filesystem::path>> walkFolder(const std::filesystem::path& folder);

struct FileTimes {
    TimePoint modified;
    std::uintmax_t size = 0;
};

// Modification time and size, following symbolic links; none when they cannot be read.
std::optional<FileTimes> fileTimes(const std::filesystem::path& file);

// The whole content of a regular file; none when it cannot be opened or read. Other kinds of
// file (a pipe, a device) are refused rather than read, so a reader never blocks on one.
std::optional<std::string> readWhole(const std::filesystem::path& file);

// The bytes from `offset` to the end of a regular file; empty when it cannot be opened or read.
// A seek that fails reads from the start.
std::string readFrom(const std::filesystem::path& file, std::uintmax_t offset);

// Asks the kernel to start reading a regular file from `offset` to its end in the background and
// returns at once. A reader about to read many files in turn names them all first, so that after a
// cold start the disk serves them together instead of one wait a file.
void prefetch(const std::filesystem::path& file, std::uintmax_t offset);

// No log line we read comes near this; a longer one is passed over, so that a file without line
// feeds never sits in memory whole.
inline constexpr std::size_t kLongestLineBytes = 16 * 1024 * 1024;

// Reads a regular file in pieces, handing each complete line (empty ones dropped) to `onLine`,
// so a large file never sits in memory whole. A line that grows past kLongestLineBytes before
// its line feed is dropped. False when the file cannot be opened or read.
template <typename OnLine>
bool forEachLineOfFile(const std::filesystem::path& file, OnLine&& onLine);

bool isValidUtf8(std::string_view bytes);

// UTF-8 text with every maximal invalid subpart replaced by U+FFFD; valid text is returned as is.
std::string lossyUtf8(std::string bytes);

// Calls `onLine` with every non-empty piece between line feeds.
template <typename OnLine>
void forEachLine(std::string_view text, OnLine&& onLine) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) onLine(text.substr(start, end - start));
        start = end + 1;
    }
}

// The time of a line read as text, not as JSON: the value after the first `"timestamp":"` up to the
// next double quote, in the internet date-time form with or without a fraction of seconds.
std::optional<TimePoint> timestampOfLine(std::string_view line);

namespace detail {
class LineFile {
public:
    explicit LineFile(const std::filesystem::path& file);
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    // Appends the next piece to `buffer`; 0 at the end, -1 on a failed read.
    long readInto(std::string& buffer);

private:
    int fd_ = -1;
};
}  // namespace detail

template <typename OnLine>
bool forEachLineOfFile(const std::filesystem::path& file, OnLine&& onLine) {
    detail::LineFile in(file);
    if (!in.isOpen()) return false;
    std::string buffer;
    // Inside a line too long to hold: what is read is dropped up to its line feed.
    bool dropping = false;
    for (;;) {
        long got = in.readInto(buffer);
        if (got < 0) return false;
        bool atEnd = got == 0;
        if (dropping) {
            std::size_t lineFeed = buffer.find('\n');
            if (lineFeed == std::string::npos) {
                buffer.clear();
                if (atEnd) return true;
                continue;
            }
            buffer.erase(0, lineFeed + 1);
            dropping = false;
        }
        std::size_t lastBreak = atEnd ? buffer.size() : buffer.rfind('\n');
        if (lastBreak == std::string::npos) {
            if (buffer.size() > kLongestLineBytes) {
                buffer.clear();
                dropping = true;
            }
            continue;
        }
        forEachLine(std::string_view(buffer).substr(0, lastBreak), onLine);
        if (atEnd) return true;
        buffer.erase(0, lastBreak + 1);
    }
}

}  // namespace quillfen::AgentLogFiles
