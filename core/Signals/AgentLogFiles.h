#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Support/Clock.h"
#include "Support/PathWalk.h"

// Cheap, defensive access to the logs other tools write: finding their folders, listing them,
// reading a file whole or from its tail, checking UTF-8 and splitting lines. Nothing here throws.
//
// A tool's folder is found by the walk and must be the user's; one of another user, or one
// reached through another user's link, is as good as missing. Everything below it is listed and
// opened through descriptors, following only the user's own links (their layout), so a name
// swapped after the listing leads nowhere else. A file is read only up to the bytes its listing
// counted, whatever it says by then: a file under /proc claims 0 bytes and never ends.
namespace quillfen::AgentLogFiles {

// An open folder of the user's and where it is; empty when it could not be had.
struct Folder {
    std::shared_ptr<const PathWalk::Fd> fd;
    std::filesystem::path path;

    explicit operator bool() const { return fd != nullptr; }
};

// The folder `top`, or the one `below` it, when the walk finds `top` and every folder from it
// down to the last the user's. A refusal is logged once.
Folder openFolder(const std::filesystem::path& top, const std::filesystem::path& below = {});

// The folder called `name` in `folder`, the user's own link there followed.
Folder subFolder(const Folder& folder, const std::string& name);

// The names in the folder, hidden ones included, sorted.
std::vector<std::string> namesIn(const Folder& folder);

// A log as the listing found it.
struct LogFile {
    std::string name;  // as listed, a link's own name
    TimePoint modified;
    std::uintmax_t size = 0;  // 0 when the file system gives none
    // Where it is opened: the folder that holds it, and its name there.
    std::shared_ptr<const PathWalk::Fd> folder;
    std::string nameThere;
    bool linked = false;  // the user's link led to it: what it leads to must be theirs
};

// The entries named "*.jsonl" in the folder, hidden ones included, in name order, with their
// times, kept only when modified at `since` or later; a link of the user's stands for what it
// leads to, and any other link is passed over.
std::vector<LogFile> logsIn(const Folder& folder, TimePoint since);

// The same below the folder, depth first in name order: hidden files and folders are left out,
// links to folders are not followed, and sub-folders that cannot be listed are passed over.
std::vector<LogFile> logsBelow(const Folder& folder, TimePoint since);

// At most `maxBytes` of the log from `offset`, fewer where it ends; none when it cannot be opened
// as a regular file (of the user's, where their link led to it) or a read fails. Never blocks on
// a pipe.
std::optional<std::string> read(const LogFile& log, std::uintmax_t offset, std::size_t maxBytes);

// Asks the kernel to start reading `length` bytes of the log from `offset` in the background and
// returns at once. A reader about to read many files in turn names them all first, so that after a
// cold start the disk serves them together instead of one wait a file.
void prefetch(const LogFile& log, std::uintmax_t offset, std::size_t length);

// How much of a log is held at once: the piece read at a time, and the longest line. No log line
// we read comes near that; a longer one is passed over, so that a file without line feeds never
// sits in memory whole.
struct LineLimits {
    std::size_t piece = 1 << 20;
    std::size_t longestLine = 16 * 1024 * 1024;
};

// Reads the log in pieces, up to its listed size, handing each complete line (empty ones dropped)
// to `onLine`, so a large file never sits in memory whole. A line that grows past the longest
// before its line feed is dropped. False when the file cannot be opened or read.
template <typename OnLine>
bool forEachLineOfFile(const LogFile& log, OnLine&& onLine, LineLimits limits = {});

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
    LineFile(const LogFile& log, std::size_t piece);
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    // Appends the next piece to `buffer`; 0 at the end or once the listed size is read, -1 on a
    // failed read.
    long readInto(std::string& buffer);

private:
    int fd_ = -1;
    std::uintmax_t left_ = 0;
    std::size_t piece_;
};
}  // namespace detail

template <typename OnLine>
bool forEachLineOfFile(const LogFile& log, OnLine&& onLine, LineLimits limits) {
    detail::LineFile in(log, limits.piece);
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
            if (buffer.size() > limits.longestLine) {
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
