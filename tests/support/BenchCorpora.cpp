#include "support/BenchCorpora.h"

#include <fstream>
#include <random>

#include "Log/DecisionLog.h"
#include "Log/FileLogStore.h"
#include "Log/SignalLogText.h"
#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"
#include "support/FileTimes.h"

namespace quillfen::test::BenchCorpora {

namespace fs = std::filesystem;

namespace {

void write(const fs::path& file, const std::string& text, TimePoint modified) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    test::setModified(file, modified);
}

}  // namespace

void writeClaudeLogs(const fs::path& projects, TimePoint now, int files, std::size_t bytesPerFile) {
    std::mt19937 random(7);
    for (int i = 0; i < files; ++i) {
        fs::path file = projects / ("-home-ana-code-project" + std::to_string(i % 30)) /
                        ("session-" + std::to_string(i) + ".jsonl");
        TimePoint modified = addSeconds(now, -(i * 7.0 * 86400.0 / files));
        TimePoint t = addSeconds(modified, -4 * 3600.0);
        std::string text;
        text.reserve(bytesPerFile + 20'000);
        while (text.size() < bytesPerFile) {
            t = addSeconds(t, 5 + random() % 90);
            std::string ts = Iso8601::format(t);
            ts.insert(19, ".123");
            switch (random() % 4) {
                case 0:
                    text +=
                        R"({"parentUuid":"a1","isSidechain":false,"userType":"external","cwd":"/home/ana/code","sessionId":"s)" +
                        std::to_string(i) +
                        R"(","version":"1.0.0","type":"user","message":{"role":"user","content":"please look at the failing test )" +
                        std::string(100 + random() % 300, 'q') + R"("},"uuid":"u1","timestamp":")" + ts +
                        "\"}\n";
                    break;
                case 1:
                    text +=
                        R"({"parentUuid":"u1","type":"assistant","message":{"role":"assistant","content":[{"type":"text","text":")" +
                        std::string(500 + random() % 4000, 'a') + R"("}]},"uuid":"a2","timestamp":")" +
                        ts + "\"}\n";
                    break;
                default:
                    text +=
                        R"({"parentUuid":"a2","type":"user","message":{"role":"user","content":[{"type":"tool_result","content":")" +
                        std::string(1000 + random() % 12000, 't') + R"("}]},"uuid":"t1","timestamp":")" +
                        ts + "\"}\n";
                    break;
            }
        }
        write(file, text, modified);
    }
}

void writeCodexLogs(const fs::path& sessions, TimePoint now, int files) {
    std::mt19937 random(11);
    for (int i = 0; i < files; ++i) {
        fs::path file = sessions / "2026/01" / std::to_string(i % 3) /
                        ("rollout-" + std::to_string(i) + ".jsonl");
        TimePoint modified = addSeconds(now, -(i * 36.0 * 3600.0 / files));
        TimePoint t = addSeconds(modified, -3 * 3600.0);
        std::size_t size = 20'000 + random() % 400'000;
        std::string text =
            R"({"timestamp":")" + Iso8601::format(t) +
            R"(","type":"session_meta","payload":{"id":"0199-)" + std::to_string(i) +
            R"(","cwd":"/home/ana/code/app)" + std::to_string(i % 7) +
            R"(","originator":"codex_cli_rs","cli_version":"0.40.0","instructions":null}})" + "\n";
        int call = 0;
        while (text.size() < size) {
            t = addSeconds(t, 1 + random() % 30);
            std::string ts = Iso8601::format(t);
            ts.insert(19, ".456");
            std::string head = R"({"timestamp":")" + ts + R"(",)";
            switch (random() % 6) {
                case 0:
                    text +=
                        head +
                        R"("type":"event_msg","payload":{"type":"user_message","message":"fix the build please","kind":"plain"}})"
                        "\n";
                    break;
                case 1:
                    text +=
                        head +
                        R"("type":"event_msg","payload":{"type":"task_started","model_context_window":272000}})"
                        "\n";
                    break;
                case 2:
                    ++call;
                    text +=
                        head +
                        R"("type":"response_item","payload":{"type":"function_call","name":"shell","arguments":"{\"command\":[\"bash\",\"-lc\",\"cargo test\"],\"workdir\":\"/home/ana\"}","call_id":"call_)" +
                        std::to_string(call) + "\"}}\n";
                    break;
                case 3:
                    text +=
                        head +
                        R"("type":"response_item","payload":{"type":"function_call_output","call_id":"call_)" +
                        std::to_string(call) + R"(","output":"{\"output\":\")" +
                        std::string(500 + random() % 8000, 'o') +
                        R"(\\n\",\"metadata\":{\"exit_code\":0,\"duration_seconds\":1.5}}"}})"
                        "\n";
                    break;
                case 4:
                    text +=
                        head +
                        R"("type":"response_item","payload":{"type":"reasoning","summary":[],"content":null,"encrypted_content":")" +
                        std::string(200 + random() % 3000, 'e') + "\"}}\n";
                    break;
                default:
                    text +=
                        head +
                        R"("type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":12345,"output_tokens":678}}}})"
                        "\n";
                    break;
            }
        }
        write(file, text, modified);
    }
}

std::string journal(std::size_t bytes, bool browser) {
    static const char* kEvents[] = {"tab_switch", "window_focus", "tab_switch", "idle", "active", "window_blur"};
    std::string text;
    TimePoint t = *Iso8601::parse("2026-01-01T08:00:00Z");
    for (int i = 0; text.size() < bytes; ++i) {
        text += browser ? "{\"ts\":\"" + Iso8601::format(t) + "\",\"event\":\"" + kEvents[i % 6] + "\"}\n"
                        : "{\"ts\":\"" + Iso8601::format(t) + "\",\"session\":\"3f9a1c\"}\n";
        t += std::chrono::seconds(7);
    }
    return text;
}

std::vector<SignalSample> minuteLog(TimePoint now) {
    std::vector<SignalSample> log;
    const TimePoint start = now - std::chrono::hours(24 * 14);
    for (int minute = 0; minute < 14 * 24 * 60; ++minute) {
        SignalSample s;
        s.timestamp = start + std::chrono::minutes(minute);
        s.continuousActiveSeconds = (minute % 150) * 60.0;
        s.appSwitchesLastHour = minute % 17;
        s.secondsSinceLastInput = minute % 7 == 0 ? 200 : 5;
        s.localHour = LocalCalendar::localHour(s.timestamp);
        log.push_back(s);
    }
    return log;
}

std::string documentAtCap(std::size_t cap, std::string_view open, std::string_view item,
                          std::string_view close) {
    std::string text(open);
    while (text.size() + item.size() + 1 + close.size() <= cap) {
        if (text.size() > open.size()) text += ',';
        text += item;
    }
    return text.append(close);
}

const std::string_view kFaceVerdict =
    R"({"at":789394800.5,"shownTier":"strained","reflection":"a scattered week, three long afternoons",)"
    R"("loopWasLive":true,"label":"nay","switchesPerHour":61,"pullsFastWindow":5,"pullsSlowWindow":6,)"
    R"("continuousActiveMinutes":42,"hourOfDay":15,"onBattery":false})";

void writeStoresAtTheirCaps(const fs::path& home, TimePoint now) {
    const fs::path data = home / ".local/share" / Paths::kAppId;
    const fs::path family = home / ".ostrel";
    // Samples of the last fortnight, as close together as the cap allows, so the prune keeps them.
    constexpr std::size_t kSampleBytes = 170;
    const std::size_t samples = FileLogStore::kSignalLogBytes / kSampleBytes;
    const auto step = std::chrono::hours(24 * 14) / samples;
    std::string log = "[";
    for (std::size_t i = 0; i < samples; ++i) {
        SignalSample s;
        s.timestamp = now - std::chrono::hours(24 * 14) + step * (i + 1);
        s.continuousActiveSeconds = static_cast<double>(i % 9000);
        s.appSwitchesLastHour = static_cast<int>(i % 41);
        s.secondsSinceLastInput = static_cast<double>(i % 170) / 3;
        s.localHour = static_cast<double>(i % 1440) / 60;
        s.displayState = DisplayState::awake;
        std::string sample;
        SignalLogText::appendSample(sample, s);
        if (log.size() + sample.size() + 2 > FileLogStore::kSignalLogBytes) break;
        if (i > 0) log += ',';
        log += sample;
    }
    write(data / "signal-log.json", log + "]", now);
    for (const char* store : {"heartbeat.json", "nudge-budget.json", "nudge-outcomes.json", "promise.json",
                              "ask-history.json", "stone-identity.json", "langfuse-prompt-cache.json"})
        write(data / store, documentAtCap(FileLogStore::kSmallStoreBytes, "[", "{}", "]"), now);
    write(family / "face-feedback.json",
          documentAtCap(FileLogStore::kFaceFeedbackBytes, "[", kFaceVerdict, "]"), now);
    std::string settings = "[General]\n";
    for (int i = 0; settings.size() + 32 < FileLogStore::kSmallStoreBytes; ++i)
        settings += "key" + std::to_string(i) + "=a value of the user's\n";
    write(home / ".config" / Paths::kAppId / "Quillfen.conf", settings, now);
    // Both journals one line short of their cut, a line a minute up to now.
    for (const bool decisions : {true, false}) {
        const auto lineAt = [decisions](TimePoint t) {
            const std::string ts = Iso8601::format(t);
            return decisions
                       ? R"({"detail":"calm to neutral, after a stretch of 42 min","kind":"face","ts":")" +
                             ts + "\"}\n"
                       : R"({"action":"skip","dayKey":")" + ts.substr(0, 10) +
                             R"(","kind":"calendar-break","reason":"no calendar write access","ts":")" + ts +
                             "\"}\n";
        };
        const std::size_t count = DecisionLog::kTrimAboveBytes / lineAt(now).size();
        std::string lines;
        for (std::size_t i = count; i > 0; --i)
            lines += lineAt(now - std::chrono::minutes(i));
        write(family / (decisions ? "decisions-log.jsonl" : "actions-log.jsonl"), lines, now);
    }
}

std::uint64_t digest(std::string_view description) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : description) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

}  // namespace quillfen::test::BenchCorpora
