#include "Signals/ClaudeBodyReader.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Signals/AgentLogFiles.h"
#include "Signals/AgentLogMath.h"
#include "Signals/CodexActivityReader.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen::ClaudeBodyReader {

namespace {

constexpr std::uintmax_t kFileCharge = 512'000;
constexpr long long kBudget = 40'000'000;

struct Event {
    TimePoint ts;
    int project;  // index into the read's project keys
    bool isUser;
};

struct Candidate {
    AgentLogFiles::LogFile log;
    int project;
};

// Whether the line holds `"type":"user"` or `"role":"user"`. Both end in `":"user"`, so one
// search finds every candidate and the five bytes before it tell which key it follows: a long
// answer is scanned once, not twice.
bool isUserTurn(std::string_view line) {
    static constexpr std::string_view kValue = "\":\"user\"";
    static constexpr std::size_t kKeyLength = 5;  // `"type` or `"role`
    std::size_t from = 0;
    while (from < line.size()) {
        const void* found = ::memmem(line.data() + from, line.size() - from, kValue.data(), kValue.size());
        if (found == nullptr) return false;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - line.data());
        if (at >= kKeyLength) {
            const std::string_view key = line.substr(at - kKeyLength, kKeyLength);
            if (key == "\"type" || key == "\"role") return true;
        }
        from = at + 1;
    }
    return false;
}

// The text to scan: at most the charge of the file, by the size its listing found. A tail is left
// as raw bytes: every pattern is ASCII and no byte of an invalid sequence can stand for an ASCII
// character, so scanning the raw tail finds what scanning its decoded form would.
std::string readBudgeted(const AgentLogFiles::LogFile& log) {
    if (log.size <= kFileCharge) {
        auto whole = AgentLogFiles::read(log, 0, static_cast<std::size_t>(log.size));
        if (!whole || !AgentLogFiles::isValidUtf8(*whole)) return {};
        return std::move(*whole);
    }
    return AgentLogFiles::read(log, log.size - kFileCharge, kFileCharge).value_or(std::string());
}

void scan(std::string_view text, int project, TimePoint cutoff, std::vector<Event>& events) {
    AgentLogFiles::forEachLine(text, [&](std::string_view line) {
        auto ts = AgentLogFiles::timestampOfLine(line);
        if (!ts || *ts < cutoff) return;
        events.push_back({*ts, project, isUserTurn(line)});
    });
}

ClaudeDay metrics(const Event* begin, const Event* end, int daysAgo, bool isToday) {
    ClaudeDay day = ClaudeDay::empty(daysAgo);
    day.isToday = isToday;
    day.observed = true;

    std::vector<TimePoint> times;
    times.reserve(static_cast<std::size_t>(end - begin));
    for (const Event* e = begin; e != end; ++e)
        times.push_back(e->ts);
    day.longestRunMin = AgentLogMath::longestRunMinutes(times);

    std::optional<TimePoint> firstAfternoon, lastAfternoon;
    bool hours[24] = {};
    std::unordered_set<int> projects;
    const Event* previousTurn = nullptr;
    for (const Event* e = begin; e != end; ++e) {
        std::tm local = LocalCalendar::localTime(e->ts);
        hours[local.tm_hour] = true;
        if (local.tm_hour >= 12 && local.tm_hour <= 16) {
            if (!firstAfternoon) firstAfternoon = e->ts;
            lastAfternoon = e->ts;
        }
        if (e == begin) day.firstHour = local.tm_hour + local.tm_min / 60.0;
        projects.insert(e->project);
        if (e->isUser) {
            ++day.userTurns;
            if (previousTurn && previousTurn->project != e->project) ++day.switches;
            previousTurn = e;
        }
    }
    if (firstAfternoon)
        day.afternoonSpanMin = AgentLogMath::wholeMinutes(secondsBetween(*firstAfternoon, *lastAfternoon));
    day.distinctProjects = static_cast<int>(projects.size());
    day.lastTimestamp = (end - 1)->ts;

    int activeHours = static_cast<int>(std::count(std::begin(hours), std::end(hours), true));
    double rate = activeHours == 0 ? 0.0 : static_cast<double>(day.switches) / activeHours;

    day.longAfternoon = day.afternoonSpanMin >= 120;
    day.fragmentedAfternoon = day.afternoonSpanMin >= 60 && (day.distinctProjects >= 3 || day.switches >= 4);
    if (day.userTurns < 4) {
        day.attention = AttentionState::idle;
    } else if (rate > 1.0 || day.distinctProjects >= 2) {
        day.attention = AttentionState::fragmented;
    } else {
        day.attention = AttentionState::focused;
    }
    if (day.userTurns >= 40 || day.longestRunMin >= 150) {
        day.load = Load::high;
    } else if (day.longestRunMin >= 45 || day.userTurns >= 12) {
        day.load = Load::medium;
    } else {
        day.load = Load::low;
    }
    return day;
}

}  // namespace

ClaudeBody read(TimePoint now, int days, const std::optional<std::filesystem::path>& projectsDir) {
    days = std::max(days, 0);
    const std::filesystem::path home = Paths::home();
    // Another user's ~/.claude, or one reached through another user's link, is not there at all.
    const AgentLogFiles::Folder folder = projectsDir
                                             ? AgentLogFiles::openFolder(*projectsDir)
                                             : AgentLogFiles::openFolder(home / ".claude", "projects");
    const std::vector<std::string> entries = AgentLogFiles::namesIn(folder);
    bool sourcePresent = !entries.empty() || AgentLogFiles::openFolder(home / ".codex", "sessions");
    const TimePoint cutoff = addSeconds(now, -(static_cast<double>(days) + 1.0) * 86400.0);

    // Every project key, Claude Code folder name or Codex mark, as a small number.
    std::unordered_map<std::string, int> projectKeys;
    auto keyIndex = [&projectKeys](std::string key) {
        return projectKeys.try_emplace(std::move(key), static_cast<int>(projectKeys.size())).first->second;
    };
    std::vector<Candidate> candidates;
    for (const auto& entry : entries) {
        const AgentLogFiles::Folder project = AgentLogFiles::subFolder(folder, entry);
        if (!project) continue;
        const int key = keyIndex(entry);
        for (auto& log : AgentLogFiles::logsIn(project, cutoff))
            candidates.push_back({std::move(log), key});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.log.modified > b.log.modified; });

    long long toPrefetch = kBudget;
    for (const auto& candidate : candidates) {
        if (toPrefetch < 1) break;
        const std::uintmax_t charge = std::min(candidate.log.size, kFileCharge);
        AgentLogFiles::prefetch(candidate.log, candidate.log.size - charge, static_cast<std::size_t>(charge));
        toPrefetch -= static_cast<long long>(charge);
    }

    std::vector<Event> events;
    long long budget = kBudget;
    for (const auto& candidate : candidates) {
        if (budget < 1) break;
        std::string text = readBudgeted(candidate.log);
        budget -= static_cast<long long>(std::min(candidate.log.size, kFileCharge));
        scan(text, candidate.project, cutoff, events);
    }

    // The prefix keeps Codex keys apart from the folder names of Claude Code projects.
    for (const auto& e : CodexActivityReader::readEvents(now, days)) {
        events.push_back({e.timestamp, keyIndex("codex:" + e.projectFingerprint), e.isUser});
    }

    ClaudeBody body;
    body.available = sourcePresent;
    if (events.empty()) return body;
    body.available = true;

    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.ts < b.ts; });

    // Day k runs from its local midnight to the next day's; the walk goes newest first.
    TimePoint dayEnd = LocalCalendar::startOfDayOffset(now, 1);
    auto upper = events.end();
    for (int k = 0; k < days; ++k) {
        TimePoint dayStart = LocalCalendar::startOfDayOffset(now, -k);
        auto first = std::lower_bound(events.begin(), upper, dayStart,
                                      [](const Event& e, TimePoint t) { return e.ts < t; });
        auto last =
            std::lower_bound(first, upper, dayEnd, [](const Event& e, TimePoint t) { return e.ts < t; });
        if (first != last) {
            body.days.push_back(metrics(&*first, &*first + (last - first), k, k == 0));
        } else {
            body.days.push_back(ClaudeDay::empty(k));
        }
        upper = first;
        dayEnd = dayStart;
    }
    if (!body.days.empty()) body.today = body.days.front();
    for (const auto& day : body.days) {
        if (day.observed) ++body.daysObserved;
        if (day.longAfternoon) ++body.longAfternoonsThisWeek;
        if (day.fragmentedAfternoon) ++body.fragmentedAfternoonsThisWeek;
    }
    return body;
}

}  // namespace quillfen::ClaudeBodyReader
