#include "Signals/CodexActivityReader.h"

#include <string.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Signals/AIToolReader.h"
#include "Signals/AgentLogFiles.h"
#include "Signals/CodexLogLine.h"
#include "Signals/Fingerprint.h"
#include "Support/Paths.h"
#include "Support/Text.h"

namespace quillfen::CodexActivityReader {

namespace {

constexpr std::uintmax_t kFileCharge = 1'000'000;
constexpr long long kBudget = 20'000'000;

struct CategoryPattern {
    AIToolCategory category;
    std::string_view words[5];
};

// Alternations of plain words, searched anywhere in the lower-cased name; the first match wins.
constexpr CategoryPattern kCategoryPatterns[] = {
    {AIToolCategory::shell, {"bash", "shell", "exec", "terminal", "command"}},
    {AIToolCategory::edit, {"patch", "edit", "write"}},
    {AIToolCategory::browser, {"browser", "web", "playwright", "chrome"}},
    {AIToolCategory::agent, {"agent", "subagent"}},
    {AIToolCategory::read, {"read", "find", "search", "list"}},
};

AIToolCategory category(const std::optional<std::string>& toolName) {
    const std::string name = Text::lowercasedAscii(toolName.value_or(""));
    for (const auto& pattern : kCategoryPatterns) {
        for (std::string_view word : pattern.words) {
            if (!word.empty() && name.find(word) != std::string::npos) return pattern.category;
        }
    }
    return AIToolCategory::other;
}

std::optional<TimePoint> lineTime(const std::string& text) {
    if (auto t = AIToolReader::isoFrac(text)) return t;
    return AIToolReader::isoPlain(text);
}

// At most the charge of the file, by the size its listing found.
std::string readBudgeted(const AgentLogFiles::LogFile& log) {
    if (log.size <= kFileCharge) {
        auto whole = AgentLogFiles::read(log, 0, static_cast<std::size_t>(log.size));
        if (!whole || !AgentLogFiles::isValidUtf8(*whole)) return {};
        return std::move(*whole);
    }
    // The first line of a tail is usually cut; it fails to parse and is dropped like any other.
    return AgentLogFiles::lossyUtf8(
        AgentLogFiles::read(log, log.size - kFileCharge, kFileCharge).value_or(std::string()));
}

bool contains(std::string_view text, std::string_view pattern) {
    return ::memmem(text.data(), text.size(), pattern.data(), pattern.size()) != nullptr;
}

// Whether a line can be passed over unparsed: it leads with a plain time before the window, names
// no other "timestamp", and cannot be a line that the file's identity is read from. Letters reach
// a key or a value only as themselves or through a \u escape, so a line without either word and
// without such an escape is neither "session_meta" nor "user_message". Old lines of a long session
// are then never decoded, and the answer is what parsing them would give.
bool passesOverUnparsed(std::string_view line, TimePoint windowStart) {
    static constexpr std::string_view kLead = "{\"timestamp\":\"";
    if (line.substr(0, kLead.size()) != kLead) return false;
    const std::size_t close = line.find('"', kLead.size());
    if (close == std::string_view::npos) return false;
    const std::string_view value = line.substr(kLead.size(), close - kLead.size());
    if (value.find('\\') != std::string_view::npos) return false;
    auto when = AIToolReader::isoFrac(value);
    if (!when) when = AIToolReader::isoPlain(value);
    if (!when || !(*when < windowStart)) return false;
    const std::string_view rest = line.substr(close);
    return !contains(rest, "timestamp") && !contains(line, "\\u") && !contains(rest, "session_meta") &&
           !contains(rest, "user_message");
}

// One event before the fingerprints are attached: the file it came from stands for them.
struct Step {
    TimePoint timestamp;
    std::uint32_t file;
    AIActivityKind kind;
    std::optional<AIToolCategory> toolCategory;
};

struct Reading {
    std::vector<Step> steps;
    // Per file read: the project's and the session's fingerprints.
    std::vector<std::pair<std::string, std::string>> identities;
};

// One pass over the lines: the file's identity is only known at its end, so user messages of
// "response_item" lines are kept provisionally and dropped when the file reports them otherwise.
void parseSession(std::string_view text, const std::string& fallbackIdentity, TimePoint windowStart,
                  Reading& reading) {
    const auto file = static_cast<std::uint32_t>(reading.identities.size());
    const std::size_t firstStep = reading.steps.size();
    std::vector<bool> provisional;
    std::string project = fallbackIdentity;
    std::string session = fallbackIdentity;
    bool reportsUserMessages = false;
    std::unordered_map<std::string, AIToolCategory> callCategories;

    AgentLogFiles::forEachLine(text, [&](std::string_view piece) {
        if (passesOverUnparsed(piece, windowStart)) return;
        const auto line = parseCodexLogLine(piece);
        if (!line || !line->payloadIsObject || !line->type) return;
        const std::string& type = *line->type;
        if (type == "session_meta" && line->cwd) {
            project = *line->cwd;
            if (line->id) session = *line->id;
        } else if (type == "event_msg" && line->payloadType == "user_message") {
            reportsUserMessages = true;
        }

        if (!line->timestamp || !line->payloadType) return;
        auto when = lineTime(*line->timestamp);
        if (!when || *when < windowStart) return;
        const std::string& payloadType = *line->payloadType;
        std::optional<AIActivityKind> kind;
        std::optional<AIToolCategory> toolCategory;
        bool fromResponseMessage = false;
        if (type == "event_msg") {
            if (payloadType == "user_message") kind = AIActivityKind::userTurn;
            if (payloadType == "task_started") kind = AIActivityKind::taskStarted;
            if (payloadType == "task_complete") kind = AIActivityKind::taskCompleted;
        } else if (type == "response_item") {
            if (payloadType == "message" && line->role == "user") {
                kind = AIActivityKind::userTurn;
                fromResponseMessage = true;
            } else if (payloadType == "function_call" || payloadType == "custom_tool_call") {
                kind = AIActivityKind::toolCall;
                toolCategory = category(line->name);
                if (line->callId) callCategories[*line->callId] = *toolCategory;
            } else if (payloadType == "function_call_output" || payloadType == "custom_tool_call_output") {
                kind = AIActivityKind::toolResult;
                toolCategory = AIToolCategory::other;
                if (line->callId) {
                    if (auto it = callCategories.find(*line->callId); it != callCategories.end()) {
                        toolCategory = it->second;
                    }
                }
            }
        }
        if (!kind) return;
        reading.steps.push_back({*when, file, *kind, toolCategory});
        provisional.push_back(fromResponseMessage);
    });

    if (reportsUserMessages) {
        std::size_t kept = firstStep;
        for (std::size_t i = firstStep; i < reading.steps.size(); ++i) {
            if (!provisional[i - firstStep]) reading.steps[kept++] = reading.steps[i];
        }
        reading.steps.resize(kept);
    }
    reading.identities.emplace_back(fingerprint(project), fingerprint(session));
}

// The steps of every log in the window, in file order (newest file first) and line order.
std::optional<Reading> readSteps(TimePoint now, int days, const std::optional<std::filesystem::path>& sessionsDir) {
    // Another user's ~/.codex, or one reached through another user's link, is not there at all.
    const AgentLogFiles::Folder folder =
        sessionsDir ? AgentLogFiles::openFolder(*sessionsDir)
                    : AgentLogFiles::openFolder(Paths::home() / ".codex", "sessions");
    if (!folder) return std::nullopt;
    const TimePoint cutoff = addSeconds(now, -(static_cast<double>(days) + 1.0) * 86400.0);

    std::vector<AgentLogFiles::LogFile> files = AgentLogFiles::logsBelow(folder, cutoff);
    std::stable_sort(files.begin(), files.end(),
                     [](const auto& a, const auto& b) { return a.modified > b.modified; });

    long long toPrefetch = kBudget;
    for (const auto& file : files) {
        if (toPrefetch <= 0) break;
        const std::uintmax_t charge = std::min(file.size, kFileCharge);
        AgentLogFiles::prefetch(file, file.size - charge, static_cast<std::size_t>(charge));
        toPrefetch -= static_cast<long long>(charge);
    }

    Reading reading;
    long long budget = kBudget;
    for (const auto& file : files) {
        if (budget <= 0) break;
        std::string text = readBudgeted(file);
        budget -= static_cast<long long>(std::min(file.size, kFileCharge));
        parseSession(text, file.name, cutoff, reading);
    }
    return reading;
}

}  // namespace

std::vector<AIActivityEvent> readEvents(TimePoint now, int days,
                                        const std::optional<std::filesystem::path>& sessionsDir) {
    std::optional<Reading> reading = readSteps(now, days, sessionsDir);
    if (!reading) return {};
    // The steps are small and carry no text, so they sort cheaply; the events are built once, in order.
    std::stable_sort(reading->steps.begin(), reading->steps.end(),
                     [](const Step& a, const Step& b) { return a.timestamp < b.timestamp; });
    std::vector<AIActivityEvent> events;
    events.reserve(reading->steps.size());
    for (const Step& step : reading->steps) {
        const auto& [project, session] = reading->identities[step.file];
        events.push_back({step.timestamp, project, session, step.kind == AIActivityKind::userTurn,
                          step.toolCategory, step.kind});
    }
    return events;
}

CodexActivitySnapshot readSnapshot(TimePoint now, const std::optional<std::filesystem::path>& sessionsDir,
                                   double staleAfter) {
    std::optional<Reading> reading = readSteps(now, 1, sessionsDir);
    CodexActivitySnapshot snapshot;
    if (!reading || reading->steps.empty()) return snapshot;

    // Only the latest times count, so the steps need no order: each session keeps its maxima.
    struct Session {
        std::optional<TimePoint> newest;
        std::optional<TimePoint> latestStart;
        std::optional<TimePoint> latestCompletion;
    };
    std::vector<Session> sessions;
    std::vector<std::size_t> sessionOfFile;
    std::unordered_map<std::string_view, std::size_t> sessionIndex;
    for (const auto& identity : reading->identities) {
        auto [it, added] = sessionIndex.try_emplace(identity.second, sessions.size());
        if (added) sessions.emplace_back();
        sessionOfFile.push_back(it->second);
    }
    auto later = [](std::optional<TimePoint>& kept, TimePoint t) {
        if (!kept || *kept < t) kept = t;
    };

    const TimePoint hourAgo = addSeconds(now, -3600.0);
    TimePoint lastActivity = reading->steps.front().timestamp;
    for (const Step& step : reading->steps) {
        if (step.timestamp >= hourAgo) {
            if (step.kind == AIActivityKind::toolCall) ++snapshot.toolCallsLastHour;
            if (step.kind == AIActivityKind::userTurn) ++snapshot.userTurnsLastHour;
        }
        lastActivity = std::max(lastActivity, step.timestamp);
        Session& s = sessions[sessionOfFile[step.file]];
        later(s.newest, step.timestamp);
        if (step.kind == AIActivityKind::taskStarted) later(s.latestStart, step.timestamp);
        if (step.kind == AIActivityKind::taskCompleted) later(s.latestCompletion, step.timestamp);
    }
    for (const Session& s : sessions) {
        if (!s.newest) continue;
        bool fresh = secondsBetween(*s.newest, now) <= staleAfter;
        if (!fresh || !s.latestStart) continue;
        if (s.latestCompletion && !(*s.latestStart > *s.latestCompletion)) continue;
        ++snapshot.runningTaskCount;
        if (!snapshot.runningSince || *s.latestStart < *snapshot.runningSince)
            snapshot.runningSince = s.latestStart;
    }
    snapshot.isTaskRunning = snapshot.runningTaskCount > 0;
    snapshot.lastActivityAt = lastActivity;
    return snapshot;
}

}  // namespace quillfen::CodexActivityReader
