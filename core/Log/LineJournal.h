#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The journals this application writes (the decisions and the actions journals): one record a
// line, appended as events happen and cut back to the newest lines once the file grows past a
// size. Every line journal of ours is written through here.
namespace quillfen::LineJournal {

struct Trim {
    std::uintmax_t aboveBytes = 4'000'000;
    std::size_t linesKept = 10'000;
    // Older lines kept all the same (today's, which the surfaces read back).
    std::function<bool(std::string_view line)> alwaysKeep{};
};

// Appends one record (its text without a line feed) to the journal in the folder, which is made
// if needed. A journal that is a link, a file of another user or no regular file is refused. Once
// the file holds more than `trim.aboveBytes`, it is cut to its newest `trim.linesKept` non-empty
// lines and the older ones `trim.alwaysKeep` takes, written beside it and renamed over it: a
// crash at any instant leaves the old journal or the cut one. An append from another thread
// waits for a cut under way. Nothing fails towards the caller.
void append(const std::filesystem::path& file, std::string_view record, const Trim& trim);

// The newest `maxBytes` of a journal, from a line start; never through a link.
std::optional<std::string> readTail(const std::filesystem::path& file, std::size_t maxBytes);

// A run that wants to see its journals cut soon (a test of the whole application) sets smaller
// limits for every journal.
void overrideTrimLimits(std::uintmax_t aboveBytes, std::size_t linesKept);

// The steps of a cut, for a test that stops one between them; an empty hook removes it.
enum class TrimStep { read, written, renamed };
void setTrimStepHook(std::function<void(TrimStep)> hook);

}  // namespace quillfen::LineJournal
