#include "Log/LineJournal.h"

#include <atomic>
#include <mutex>
#include <vector>

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

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Works on bytes, not text: a single stray byte must not stop the file from ever being cut back.
void cut(const std::filesystem::path& file, const Trim& trim) {
    // Whatever lies before four times the limit is never loaded, however large the file grew.
    auto text = readTail(file, static_cast<std::size_t>(4 * trim.aboveBytes));
    if (!text) return;
    reached(TrimStep::read);
    const auto lines = nonEmptyLines(*text);
    const std::size_t newest = lines.size() > trim.linesKept ? lines.size() - trim.linesKept : 0;
    std::string kept;
    kept.reserve(text->size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i < newest && !(trim.alwaysKeep && trim.alwaysKeep(lines[i]))) continue;
        kept += lines[i];
        kept.push_back('\n');
    }
    text.reset();
    if (SafeFile::replace(file, kept, 0600, [] { reached(TrimStep::written); })) return;
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
    return SafeFile::readTail(file, maxBytes, SafeFile::Links::refuse);
}

void overrideTrimLimits(std::uintmax_t aboveBytes, std::size_t linesKept) {
    overriddenLinesKept = linesKept;
    overriddenAboveBytes = aboveBytes;
}

void setTrimStepHook(std::function<void(TrimStep)> hook) {
    stepHook() = std::move(hook);
}

}  // namespace quillfen::LineJournal
