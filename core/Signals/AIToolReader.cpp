#include "Signals/AIToolReader.h"

#include <algorithm>
#include <string>
#include <vector>

#include "Signals/AgentLogFiles.h"
#include "Signals/AgentLogMath.h"
#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen::AIToolReader {

namespace {

struct Event {
    TimePoint ts;
    std::size_t project;  // index into the day's project names
};

}  // namespace

std::optional<TimePoint> isoFrac(std::string_view text) {
    if (text.size() < 21 || text[19] != '.') return std::nullopt;
    return Iso8601::parseWithFraction(text);
}

std::optional<TimePoint> isoPlain(std::string_view text) {
    return Iso8601::parse(text);
}

AIToolSignal read(TimePoint now, const std::optional<std::filesystem::path>& projectsDir) {
    // Another user's ~/.claude, or one reached through another user's link, is not there at all.
    const AgentLogFiles::Folder folder =
        projectsDir ? AgentLogFiles::openFolder(*projectsDir)
                    : AgentLogFiles::openFolder(Paths::home() / ".claude", "projects");
    if (!folder) return {};

    AIToolSignal signal;
    signal.available = true;
    const TimePoint todayStart = LocalCalendar::startOfDay(now);

    std::vector<Event> events;
    std::size_t projectIndex = 0;
    for (const auto& entry : AgentLogFiles::namesIn(folder)) {
        const AgentLogFiles::Folder project = AgentLogFiles::subFolder(folder, entry);
        if (!project) continue;
        for (const auto& log : AgentLogFiles::logsIn(project, todayStart)) {
            ++signal.sessionsToday;
            // Today's logs are read whole, up to their listed size, a piece at a time; one bad byte
            // voids the file.
            std::vector<TimePoint> found;
            bool valid = true;
            bool read = AgentLogFiles::forEachLineOfFile(log, [&](std::string_view line) {
                if (!valid) return;
                if (!AgentLogFiles::isValidUtf8(line)) {
                    valid = false;
                    return;
                }
                if (auto t = AgentLogFiles::timestampOfLine(line); t && *t >= todayStart) found.push_back(*t);
            });
            if (!read || !valid) continue;
            for (TimePoint t : found)
                events.push_back({t, projectIndex});
        }
        ++projectIndex;
    }
    if (events.empty()) return signal;

    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.ts < b.ts; });
    const TimePoint first = events.front().ts;
    const TimePoint last = events.back().ts;
    signal.lastActiveMinAgo = std::max(0, AgentLogMath::wholeMinutes(secondsBetween(last, now)));
    signal.activeSpanMinToday = std::max(0, AgentLogMath::wholeMinutes(secondsBetween(first, last)));

    std::vector<TimePoint> times;
    times.reserve(events.size());
    for (const auto& e : events)
        times.push_back(e.ts);
    signal.longestRunMinToday = AgentLogMath::longestRunMinutes(times);

    std::vector<std::size_t> projects;
    for (const auto& e : events)
        projects.push_back(e.project);
    std::sort(projects.begin(), projects.end());
    signal.projectsToday = static_cast<int>(std::unique(projects.begin(), projects.end()) - projects.begin());
    for (std::size_t i = 1; i < events.size(); ++i) {
        if (events[i].project != events[i - 1].project) ++signal.projectSwitchesToday;
    }
    return signal;
}

}  // namespace quillfen::AIToolReader
