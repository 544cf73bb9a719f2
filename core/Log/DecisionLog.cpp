#include "Log/DecisionLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>

#include <nlohmann/json.hpp>

#include "Support/Iso8601.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen::DecisionLog {

namespace {

// Appends come from several threads; the trim reads and rewrites the whole file, and a line
// appended between the two would be lost.
std::mutex& fileMutex() {
    static std::mutex m;
    return m;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The newest `kReadTailBytes` of the file, from a line start: a journal that some other writer
// grew past any size costs no more memory than that.
std::optional<std::string> readTail(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    const bool cut = size > kReadTailBytes;
    // One byte before the tail tells whether the tail starts exactly on a line start.
    const std::uintmax_t from = cut ? size - kReadTailBytes - 1 : 0;
    std::string text(static_cast<std::size_t>(size - from), '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        ssize_t got =
            ::pread(fd, text.data() + filled, text.size() - filled, static_cast<off_t>(from + filled));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    text.resize(filled);
    if (cut) {
        auto lineFeed = text.find('\n');
        text.erase(0, lineFeed == std::string::npos ? text.size() : lineFeed + 1);
    }
    return text;
}

// Whether the file ends inside a line: a write cut short by a crash or a full disk.
bool endsMidLine(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size == 0) return false;
    char last = '\n';
    return ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}

// The last `limit` non-empty lines, oldest first.
std::deque<std::string_view> lastLines(std::string_view text, std::size_t limit) {
    std::deque<std::string_view> lines;
    while (!text.empty()) {
        auto end = text.find('\n');
        auto line = text.substr(0, end);
        if (!line.empty()) {
            lines.push_back(line);
            if (lines.size() > limit) lines.pop_front();
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Works on bytes, not text: a single stray byte must not stop the file from ever being cut back.
void trim(const std::filesystem::path& file) {
    auto text = readTail(file);
    if (!text) return;
    std::string kept;
    kept.reserve(text->size());
    for (auto line : lastLines(*text, kLinesKeptByTrim)) {
        kept += line;
        kept.push_back('\n');
    }
    int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return;
    writeAll(fd, kept);
    ::close(fd);
}

std::optional<Entry> entryFrom(std::string_view line) {
    auto json = JsonText::decode(line);
    if (!json || !json->is_object()) return std::nullopt;
    for (const auto& [key, value] : json->items()) {
        if (!value.is_string()) return std::nullopt;
    }
    auto ts = json->find("ts");
    if (ts == json->end()) return std::nullopt;
    auto date = Iso8601::parse(ts->get_ref<const std::string&>());
    if (!date) return std::nullopt;
    return Entry{*date, json->value("kind", std::string()), json->value("detail", std::string())};
}

}  // namespace

std::filesystem::path defaultFile() {
    return Paths::familyDirectory() / "decisions-log.jsonl";
}

void append(std::string_view kind, std::string_view detail, TimePoint now) {
    append(defaultFile(), kind, detail, now);
}

void append(const std::filesystem::path& file, std::string_view kind, std::string_view detail,
            TimePoint now) {
    nlohmann::json record = {{"ts", Iso8601::format(now)}, {"kind", kind}, {"detail", detail}};
    auto line = JsonText::encode(record);
    if (!line) return;
    line->push_back('\n');

    std::lock_guard lock(fileMutex());
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    // One write of the whole line to a file opened for appending: lines from other processes
    // never interleave inside it.
    int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    // The half line stays a broken line of its own instead of swallowing this one.
    if (endsMidLine(fd)) line->insert(line->begin(), '\n');
    bool written = writeAll(fd, *line);
    struct stat info {};
    bool sized = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!written || !sized) return;
    if (static_cast<std::uintmax_t>(info.st_size) > kTrimAboveBytes) trim(file);
}

std::vector<Entry> today(TimePoint now) {
    return today(defaultFile(), now);
}

std::vector<Entry> today(const std::filesystem::path& file, TimePoint now) {
    auto text = readTail(file);
    if (!text) return {};
    std::string todayKey = LocalCalendar::dayKey(now);
    std::vector<Entry> entries;
    for (auto line : lastLines(*text, kLinesReadForToday)) {
        auto entry = entryFrom(line);
        if (entry && LocalCalendar::dayKey(entry->ts) == todayKey) entries.push_back(std::move(*entry));
    }
    return entries;
}

}  // namespace quillfen::DecisionLog
