#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Signals/ClaudeBodyReader.h"
#include "Signals/CodexActivityReader.h"
#include "Support/Clock.h"
#include "support/BenchCorpora.h"

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
        // 300 sessions of 1 MB in 30 projects, and 200 Codex sessions.
        if (claude) test::BenchCorpora::writeClaudeLogs(root_ / ".claude/projects", now_, 300, 1'000'000);
        if (codex) test::BenchCorpora::writeCodexLogs(root_ / ".codex/sessions", now_, 200);
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
