#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Support/Clock.h"

// The mirror's two lines about today, composed from the journals on disk each time the mirror
// is published: what was decided today, and whether a calendar hold was placed. None means the
// line is not shown. The journals are never changed here.
namespace quillfen::TodayFacts {

// A placed hold is looked for among the newest part of the actions journal: weeks of
// evaluations every five minutes.
inline constexpr std::size_t kActionsTailBytes = 1024 * 1024;

struct Journals {
    std::filesystem::path breatherLog;
    std::filesystem::path breatherDecisions;
    std::filesystem::path decisionsLog;
    std::filesystem::path actionsLog;
    // Their places in the family folder.
    static Journals canonical();
};

// "spoke at 9:05, 14:40 · nearest miss 5 pulls in a half hour · 2 fresh starts", each part only
// when it has something to say.
std::optional<std::string> decisions(TimePoint now, const Journals& journals = Journals::canonical());

// "a ten minute hold at 15:20, yours to keep or delete" for the newest hold placed today.
std::optional<std::string> heldToday(TimePoint now, const Journals& journals = Journals::canonical());

}  // namespace quillfen::TodayFacts
