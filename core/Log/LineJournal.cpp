#include "Log/LineJournal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "Support/SafeFile.h"

namespace quillfen::LineJournal {

namespace {

// A cut reads the file and renames a new one over it: a line appended in between would go with
// the old file. One lock for every journal; appends are small and cuts rare.
std::mutex& journalMutex() {
    static std::mutex m;
    return m;
}

std::atomic<std::uintmax_t> overriddenAboveBytes{0};
std::atomic<std::size_t> overriddenLinesKept{0};

std::function<void(TrimStep)>& stepHook() {
    static std::function<void(TrimStep)> hook;
    return hook;
}

void reached(TrimStep step) {
    if (stepHook()) stepHook()(step);
}

// A cut goes through its journal a piece at a time and holds one piece, and a line only while
// `alwaysKeep` looks at it: never a copy of the journal, let alone two.
constexpr std::size_t kPieceBytes = 64 * 1024;

class JournalFile {
public:
    explicit JournalFile(const std::filesystem::path& file)
        : fd_(SafeFile::openForReading(file, SafeFile::Links::ours)) {}
    ~JournalFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    std::optional<std::uintmax_t> size() const {
        struct stat info {};
        if (fd_ < 0 || ::fstat(fd_, &info) != 0) return std::nullopt;
        return static_cast<std::uintmax_t>(info.st_size);
    }

    // The `length` bytes at `offset`, in `buffer`; nothing when they cannot all be read (the file
    // shrank, or a read failed).
    std::optional<std::string_view> at(std::uintmax_t offset, std::uintmax_t length,
                                       std::string& buffer) const {
        buffer.resize(static_cast<std::size_t>(length));
        if (fd_ < 0 || SafeFile::readAt(fd_, offset, buffer) != buffer.size()) return std::nullopt;
        return std::string_view(buffer);
    }

private:
    int fd_;
};

// The first line start at or after `from`: the line that `from` falls inside is left out whole.
std::optional<std::uintmax_t> lineStartFrom(const JournalFile& in, std::uintmax_t from, std::uintmax_t end,
                                            std::string& buffer) {
    if (from == 0) return 0;
    for (std::uintmax_t offset = from - 1; offset < end;) {
        const auto piece = in.at(offset, std::min<std::uintmax_t>(kPieceBytes, end - offset), buffer);
        if (!piece) return std::nullopt;
        if (const auto lineFeed = piece->find('\n'); lineFeed != std::string_view::npos)
            return offset + lineFeed + 1;
        offset += piece->size();
    }
    return end;
}

// Where the newest `count` non-empty lines before `end` begin, looking back no further than the
// line start `begin`.
std::optional<std::uintmax_t> newestLinesStart(const JournalFile& in, std::uintmax_t begin,
                                               std::uintmax_t end, std::size_t count, std::string& buffer) {
    if (count == 0) return end;
    std::size_t seen = 0;
    bool lineHasBytes = false;
    for (std::uintmax_t pieceEnd = end; pieceEnd > begin;) {
        const std::uintmax_t pieceStart = pieceEnd - std::min<std::uintmax_t>(kPieceBytes, pieceEnd - begin);
        const auto piece = in.at(pieceStart, pieceEnd - pieceStart, buffer);
        if (!piece) return std::nullopt;
        // Line feeds from the end of the piece back: between two of them lies a line, empty or not.
        const char* const data = piece->data();
        std::size_t unseen = piece->size();
        while (true) {
            const auto* lineFeed = static_cast<const char*>(::memrchr(data, '\n', unseen));
            const std::size_t after = lineFeed ? static_cast<std::size_t>(lineFeed - data) + 1 : 0;
            if (after < unseen) lineHasBytes = true;
            if (!lineFeed) break;
            if (lineHasBytes && ++seen == count) return pieceStart + after;
            lineHasBytes = false;
            unseen = after - 1;
        }
        pieceEnd = pieceStart;
    }
    return begin;
}

// Hands the kept lines to `sink`, each non-empty one with its line feed: from `begin` to `newest`
// only those `alwaysKeep` takes, from `newest` to `end` all of them.
bool copyKeptLines(const JournalFile& in, std::uintmax_t begin, std::uintmax_t newest, std::uintmax_t end,
                   const Trim& trim, const SafeFile::Sink& sink) {
    std::string buffer;
    if (trim.alwaysKeep) {
        std::string line;
        const auto offer = [&] {
            const bool kept = line.empty() || !trim.alwaysKeep(line) || sink(line.append("\n"));
            line.clear();
            return kept;
        };
        for (std::uintmax_t offset = begin; offset < newest;) {
            auto piece = in.at(offset, std::min<std::uintmax_t>(kPieceBytes, newest - offset), buffer);
            if (!piece) return false;
            offset += piece->size();
            for (auto lineFeed = piece->find('\n'); lineFeed != std::string_view::npos;
                 lineFeed = piece->find('\n')) {
                line.append(piece->substr(0, lineFeed));
                if (!offer()) return false;
                piece->remove_prefix(lineFeed + 1);
            }
            line.append(*piece);
        }
        if (!offer()) return false;
    }
    std::string out;
    bool atLineStart = true;
    for (std::uintmax_t offset = newest; offset < end;) {
        auto piece = in.at(offset, std::min<std::uintmax_t>(kPieceBytes, end - offset), buffer);
        if (!piece) return false;
        offset += piece->size();
        // The piece as it stands, but for the line feeds that would make an empty line.
        out.clear();
        while (!piece->empty()) {
            const auto lineFeed = piece->find('\n');
            const auto line =
                piece->substr(0, lineFeed == std::string_view::npos ? piece->size() : lineFeed + 1);
            piece->remove_prefix(line.size());
            if (line == "\n" && atLineStart) continue;
            out.append(line);
            atLineStart = line.back() == '\n';
        }
        if (!sink(out)) return false;
    }
    return atLineStart || sink("\n");
}

// Works on bytes, not text: a single stray byte must not stop the file from ever being cut back.
void cut(const std::filesystem::path& file, const Trim& trim) {
    const JournalFile in(file);
    const auto size = in.size();
    if (!size) return;
    std::string buffer;
    // Whatever lies before four times the limit is never looked at, however large the file grew.
    const std::uintmax_t window = 4 * trim.aboveBytes;
    const auto begin = lineStartFrom(in, *size > window ? *size - window : 0, *size, buffer);
    if (!begin) return;
    const auto newest = newestLinesStart(in, *begin, *size, trim.linesKept, buffer);
    if (!newest) return;
    buffer = std::string();
    reached(TrimStep::read);
    const auto pieces = [&](const SafeFile::Sink& sink) {
        return copyKeptLines(in, *begin, *newest, *size, trim, sink);
    };
    if (SafeFile::replace(file, pieces, 0600, [] { reached(TrimStep::written); })) return;
    reached(TrimStep::renamed);
}

}  // namespace

void append(const std::filesystem::path& file, std::string_view record, const Trim& trim) {
    std::string line;
    line.reserve(record.size() + 1);
    line.append(record).push_back('\n');
    std::lock_guard lock(journalMutex());
    if (file.has_parent_path() && SafeFile::makePrivateFolder(file.parent_path())) return;
    const auto size = SafeFile::append(file, line);
    Trim limits = trim;
    if (const auto above = overriddenAboveBytes.load()) {
        limits.aboveBytes = above;
        limits.linesKept = overriddenLinesKept.load();
    }
    if (size && *size > limits.aboveBytes) cut(file, limits);
}

std::optional<std::string> readTail(const std::filesystem::path& file, std::size_t maxBytes) {
    return SafeFile::readTail(file, maxBytes, SafeFile::Links::ours);
}

void overrideTrimLimits(std::uintmax_t aboveBytes, std::size_t linesKept) {
    overriddenLinesKept = linesKept;
    overriddenAboveBytes = aboveBytes;
}

void setTrimStepHook(std::function<void(TrimStep)> hook) {
    stepHook() = std::move(hook);
}

}  // namespace quillfen::LineJournal
