#include "UI/TodayFacts.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "Log/DecisionLog.h"
#include "Signals/BreatherJournal.h"
#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"
#include "UI/InspectFacts.h"

namespace quillfen::TodayFacts {

namespace {

// Below this many pulls a miss is not worth a word.
constexpr std::int64_t kMissWorthTelling = 3;

}  // namespace

Journals Journals::canonical() {
    return {BreatherJournal::fireLogFile(), BreatherJournal::decisionsFile(), DecisionLog::defaultFile(),
            Paths::familyDirectory() / "actions-log.jsonl"};
}

std::optional<std::string> decisions(TimePoint now, const Journals& journals) {
    std::vector<std::string> parts;
    const std::string today = LocalCalendar::dayKey(now);

    if (auto fires = BreatherJournal::fireTimes(journals.breatherLog)) {
        std::string spoke;
        for (TimePoint t : *fires) {
            if (LocalCalendar::dayKey(t) != today) continue;
            spoke += (spoke.empty() ? "spoke at " : ", ") + InspectFacts::clockLabel(t);
        }
        if (!spoke.empty()) parts.push_back(std::move(spoke));
    }

    const auto miss = BreatherJournal::nearestMiss(journals.breatherDecisions, now);
    if (miss && *miss > kMissWorthTelling)
        parts.push_back("nearest miss " + std::to_string(*miss) + " pulls in a half hour");

    const auto entries = DecisionLog::today(journals.decisionsLog, now);
    const auto resets = std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.kind == "reset"; });
    if (resets == 1) parts.emplace_back("one fresh start");
    if (resets > 1) parts.push_back(std::to_string(resets) + " fresh starts");

    if (parts.empty()) return std::nullopt;
    std::string fact = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) fact += " \u00b7 " + parts[i];
    return fact;
}

std::optional<std::string> heldToday(TimePoint now, const Journals& journals) {
    const auto text = JsonLines::readTail(journals.actionsLog, kActionsTailBytes);
    if (!text) return std::nullopt;
    const std::string today = LocalCalendar::dayKey(now);
    std::optional<TimePoint> start;
    constexpr std::string_view keys[] = {"kind", "action", "dayKey", "holdStart"};
    // The newest matching line wins: each match replaces the one before it.
    JsonLines::forEachObject(*text, keys, [&](JsonLines::StringMembers m) {
        if (m[0] != "calendar-break" || m[1] != "placed" || m[2] != today || !m[3]) return;
        if (auto parsed = Iso8601::parse(*m[3])) start = parsed;
    });
    if (!start) return std::nullopt;
    return "a ten minute hold at " + InspectFacts::clockLabel(*start) + ", yours to keep or delete";
}

}  // namespace quillfen::TodayFacts
