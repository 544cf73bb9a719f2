#include "Signals/CodexActivityReader.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>

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

std::string readBudgeted(const std::filesystem::path& file, std::uintmax_t fileSize) {
    if (fileSize <= kFileCharge) {
        auto whole = AgentLogFiles::readWhole(file);
        if (!whole || !AgentLogFiles::isValidUtf8(*whole)) return {};
        return std::move(*whole);
    }
    // The first line of a tail is usually cut; it fails to parse and is dropped like any other.
    return AgentLogFiles::lossyUtf8(AgentLogFiles::readFrom(file, fileSize - kFileCharge));
}

void parseSession(std::string_view text, const std::string& fallbackIdentity, TimePoint windowStart,
                  std::vector<AIActivityEvent>& events) {
    std::vector<CodexLogLine> lines;
    AgentLogFiles::forEachLine(text, [&](std::string_view piece) {
        if (auto line = parseCodexLogLine(piece)) lines.push_back(std::move(*line));
    });

    std::string project = fallbackIdentity;
    std::string session = fallbackIdentity;
    bool reportsUserMessages = false;
    for (const auto& line : lines) {
        if (!line.payloadIsObject || !line.type) continue;
        if (*line.type == "session_meta" && line.cwd) {
            project = *line.cwd;
            if (line.id) session = *line.id;
        } else if (*line.type == "event_msg" && line.payloadType == "user_message") {
            reportsUserMessages = true;
        }
    }
    const std::string projectFingerprint = fingerprint(project);
    const std::string sessionFingerprint = fingerprint(session);

    std::unordered_map<std::string, AIToolCategory> callCategories;
    for (const auto& line : lines) {
        if (!line.timestamp) continue;
        auto when = lineTime(*line.timestamp);
        if (!when || *when < windowStart) continue;
        if (!line.type || !line.payloadIsObject || !line.payloadType) continue;
        const std::string& type = *line.type;
        const std::string& payloadType = *line.payloadType;

        std::optional<AIActivityKind> kind;
        std::optional<AIToolCategory> toolCategory;
        if (type == "event_msg") {
            if (payloadType == "user_message") kind = AIActivityKind::userTurn;
            if (payloadType == "task_started") kind = AIActivityKind::taskStarted;
            if (payloadType == "task_complete") kind = AIActivityKind::taskCompleted;
        } else if (type == "response_item") {
            if (payloadType == "message" && line.role == "user" && !reportsUserMessages) {
                kind = AIActivityKind::userTurn;
            } else if (payloadType == "function_call" || payloadType == "custom_tool_call") {
                kind = AIActivityKind::toolCall;
                toolCategory = category(line.name);
                if (line.callId) callCategories[*line.callId] = *toolCategory;
            } else if (payloadType == "function_call_output" || payloadType == "custom_tool_call_output") {
                kind = AIActivityKind::toolResult;
                toolCategory = AIToolCategory::other;
                if (line.callId) {
                    if (auto it = callCategories.find(*line.callId); it != callCategories.end()) {
                        toolCategory = it->second;
                    }
                }
            }
        }
        if (!kind) continue;
        events.push_back({*when, projectFingerprint, sessionFingerprint, *kind == AIActivityKind::userTurn,
                          toolCategory, *kind});
    }
}

struct LogFile {
    std::filesystem::path path;
    TimePoint modified;
    std::uintmax_t size;
};

}  // namespace

std::vector<AIActivityEvent> readEvents(TimePoint now, int days,
                                        const std::optional<std::filesystem::path>& sessionsDir) {
    const std::filesystem::path folder = sessionsDir ? *sessionsDir : Paths::home() / ".codex" / "sessions";
    auto found = AgentLogFiles::walkFolder(folder);
    if (!found) return {};
    const TimePoint cutoff = addSeconds(now, -(static_cast<double>(days) + 1.0) * 86400.0);

    std::vector<LogFile> files;
    for (auto& path : *found) {
        if (path.extension() != ".jsonl") continue;
        auto times = AgentLogFiles::fileTimes(path);
        if (!times || times->modified < cutoff) continue;
        files.push_back({std::move(path), times->modified, times->size});
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const LogFile& a, const LogFile& b) { return a.modified > b.modified; });

    std::vector<AIActivityEvent> events;
    long long budget = kBudget;
    for (const auto& file : files) {
        if (budget <= 0) break;
        std::string text = readBudgeted(file.path, file.size);
        budget -= static_cast<long long>(std::min(file.size, kFileCharge));
        parseSession(text, file.path.filename().string(), cutoff, events);
    }
    std::stable_sort(events.begin(), events.end(), [](const AIActivityEvent& a, const AIActivityEvent& b) {
        return a.timestamp < b.timestamp;
    });
    return events;
}

CodexActivitySnapshot readSnapshot(TimePoint now, const std::optional<std::filesystem::path>& sessionsDir,
                                   double staleAfter) {
    const std::vector<AIActivityEvent> events = readEvents(now, 1, sessionsDir);
    CodexActivitySnapshot snapshot;
    if (events.empty()) return snapshot;

    const TimePoint hourAgo = addSeconds(now, -3600.0);
    struct Session {
        TimePoint newest;
        std::optional<TimePoint> latestStart;
        std::optional<TimePoint> latestCompletion;
    };
    std::unordered_map<std::string, Session> sessions;
    for (const auto& e : events) {
        if (e.timestamp >= hourAgo) {
            if (e.kind == AIActivityKind::toolCall) ++snapshot.toolCallsLastHour;
            if (e.kind == AIActivityKind::userTurn) ++snapshot.userTurnsLastHour;
        }
        // Events come oldest first, so each assignment keeps the latest.
        Session& s = sessions[e.sessionFingerprint];
        s.newest = e.timestamp;
        if (e.kind == AIActivityKind::taskStarted) s.latestStart = e.timestamp;
        if (e.kind == AIActivityKind::taskCompleted) s.latestCompletion = e.timestamp;
    }
    for (const auto& [id, s] : sessions) {
        bool fresh = secondsBetween(s.newest, now) <= staleAfter;
        if (!fresh || !s.latestStart) continue;
        if (s.latestCompletion && !(*s.latestStart > *s.latestCompletion)) continue;
        ++snapshot.runningTaskCount;
        if (!snapshot.runningSince || *s.latestStart < *snapshot.runningSince)
            snapshot.runningSince = s.latestStart;
    }
    snapshot.isTaskRunning = snapshot.runningTaskCount > 0;
    snapshot.lastActivityAt = events.back().timestamp;
    return snapshot;
}

}  // namespace quillfen::CodexActivityReader
