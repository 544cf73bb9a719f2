#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Signals/ClaudeBodyReader.h"
#include "Signals/CodexActivityReader.h"
#include "Support/Clock.h"
#include "Support/Iso8601.h"
#include "support/FileTimes.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// Synthetic agent logs, written once per run into a temporary home that is removed at exit.
// The line shapes follow what the agents write: short user turns, long answers and tool output.
class AgentLogsHome {
public:
    static const AgentLogsHome& claudeOnly() {
        static AgentLogsHome home(true, false);
        return home;
    }
    static const AgentLogsHome& codexOnly() {
        static AgentLogsHome home(false, true);
        return home;
    }
    static const AgentLogsHome& both() {
        static AgentLogsHome home(true, true);
        return home;
    }

    ~AgentLogsHome() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& root() const { return root_; }
    TimePoint now() const { return now_; }
    void enter() const { setenv("HOME", root_.c_str(), 1); }

    // Drops every log from the page cache, so the next read comes from the disk.
    void dropFromPageCache() const {
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            if (!entry.is_regular_file()) continue;
            int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) std::abort();
            // Only clean pages can be dropped.
            (void)::fdatasync(fd);
            (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }

private:
    AgentLogsHome(bool claude, bool codex) : now_(systemClock()()) {
        std::string pattern = (fs::temp_directory_path() / "quillfen-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        if (claude) writeClaude();
        if (codex) writeCodex();
    }

    // 300 sessions of 1 MB in 30 projects, modified over the last week.
    void writeClaude() {
        std::mt19937 random(7);
        for (int i = 0; i < 300; ++i) {
            fs::path file = root_ / ".claude/projects" / ("-home-ana-code-project" + std::to_string(i % 30)) /
                            ("session-" + std::to_string(i) + ".jsonl");
            TimePoint modified = addSeconds(now_, -(i * 7.0 * 86400.0 / 300.0));
            TimePoint t = addSeconds(modified, -4 * 3600.0);
            std::string text;
            text.reserve(1'050'000);
            while (text.size() < 1'000'000) {
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

    // 200 sessions of 20 to 420 kB, all touched in the last 36 hours.
    void writeCodex() {
        std::mt19937 random(11);
        for (int i = 0; i < 200; ++i) {
            fs::path file = root_ / ".codex/sessions/2026/01" / std::to_string(i % 3) /
                            ("rollout-" + std::to_string(i) + ".jsonl");
            TimePoint modified = addSeconds(now_, -(i * 36.0 * 3600.0 / 200.0));
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

    static void write(const fs::path& file, const std::string& text, TimePoint modified) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        test::setModified(file, modified);
    }

    fs::path root_;
    TimePoint now_;
};

// Bytes this process has read through system calls so far (the kernel's count, page cache or not).
double bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    double value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return 0;
}

// What one read of the logs costs in bytes, averaged over the iterations.
class ReadBytes {
public:
    explicit ReadBytes(benchmark::State& state) : state_(state), before_(bytesReadSoFar()) {}
    ~ReadBytes() {
        if (state_.iterations() > 0)
            state_.counters["MBRead"] = (bytesReadSoFar() - before_) / 1e6 / static_cast<double>(state_.iterations());
    }
    ReadBytes(const ReadBytes&) = delete;
    ReadBytes& operator=(const ReadBytes&) = delete;

private:
    benchmark::State& state_;
    double before_;
};

void ClaudeCodeWeek(benchmark::State& state) {
    const auto& home = AgentLogsHome::claudeOnly();
    home.enter();
    for (auto _ : state)
        benchmark::DoNotOptimize(ClaudeBodyReader::read(home.now(), 7));
}
BENCHMARK(ClaudeCodeWeek)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

void CodexSnapshot(benchmark::State& state) {
    const auto& home = AgentLogsHome::codexOnly();
    home.enter();
    ReadBytes bytes(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CodexActivityReader::readSnapshot(home.now(), std::nullopt, 7200));
    }
}
BENCHMARK(CodexSnapshot)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The week as the application reads it: Claude Code logs and Codex sessions together.
void ClaudeCodeWeekWithCodex(benchmark::State& state) {
    const auto& home = AgentLogsHome::both();
    home.enter();
    ReadBytes bytes(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(ClaudeBodyReader::read(home.now(), 7));
}
BENCHMARK(ClaudeCodeWeekWithCodex)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The same after the logs have left the page cache, as after a reboot or a long sleep.
void ClaudeCodeWeekWithCodexColdCache(benchmark::State& state) {
    const auto& home = AgentLogsHome::both();
    home.enter();
    ReadBytes bytes(state);
    for (auto _ : state) {
        state.PauseTiming();
        home.dropFromPageCache();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ClaudeBodyReader::read(home.now(), 7));
    }
}
BENCHMARK(ClaudeCodeWeekWithCodexColdCache)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace quillfen
