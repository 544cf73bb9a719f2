#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Support/Clock.h"

// The journal of notable events, one JSON object a line in ~/.ostrel/decisions-log.jsonl,
// cut back to its newest lines once it grows past a size limit.
namespace quillfen::DecisionLog {

struct Entry {
    TimePoint ts{};
    std::string kind{};
    std::string detail{};
    bool operator==(const Entry&) const = default;
};

inline constexpr std::uintmax_t kTrimAboveBytes = 4'000'000;
inline constexpr std::size_t kLinesKeptByTrim = 10'000;
inline constexpr std::size_t kLinesReadForToday = 2'000;
// Reading and trimming look at no more than this newest part of the file.
inline constexpr std::uintmax_t kReadTailBytes = 4 * kTrimAboveBytes;

// decisions-log.jsonl in the family folder.
std::filesystem::path defaultFile();

// Never fails towards the caller; an entry that cannot be written is dropped.
void append(std::string_view kind, std::string_view detail, TimePoint now);
void append(const std::filesystem::path& file, std::string_view kind, std::string_view detail, TimePoint now);

// The entries of the local calendar day holding `now`, among the last 2000 lines of the part read, in
// file order. Lines that do not read as an entry are skipped.
std::vector<Entry> today(TimePoint now);
std::vector<Entry> today(const std::filesystem::path& file, TimePoint now);

}  // namespace quillfen::DecisionLog
