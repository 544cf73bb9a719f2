#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Signals/BrowserRhythm.h"
#include "Signals/PromptCadence.h"
#include "Support/Iso8601.h"
#include "support/BenchCorpora.h"

namespace {

using namespace quillfen;

// A journal of `bytes` or more, one record every few seconds, as the companions write them.
std::filesystem::path writeJournal(std::size_t bytes, bool browser) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillfen-bench-XXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    const std::string text = test::BenchCorpora::journal(bytes, browser);
    std::ofstream(pattern, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    return pattern;
}

// Time per MiB of journal actually read: a larger journal is read only up to the reader's limit.
void perMiBRead(benchmark::State& state, const std::filesystem::path& path, std::size_t limit) {
    const double mib = static_cast<double>(std::min<std::uintmax_t>(std::filesystem::file_size(path), limit)) /
                       (1024.0 * 1024.0);
    state.counters["secondsPerMiB"] =
        benchmark::Counter(mib, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// As the application asks: the journal read, then the browser fact line's two counts.
void BM_BrowserRhythmRead(benchmark::State& state) {
    auto path = writeJournal(static_cast<std::size_t>(state.range(0)), true);
    const TimePoint now = *Iso8601::parse("2026-01-03T18:00:00Z");
    for (auto _ : state) {
        const BrowserRhythm rhythm = BrowserRhythm::read(path);
        benchmark::DoNotOptimize(rhythm.tabSwitches(3600, now));
        benchmark::DoNotOptimize(rhythm.activeMinutesToday(now, 1800));
    }
    perMiBRead(state, path, BrowserRhythm::readLimitBytes);
    std::filesystem::remove(path);
}
BENCHMARK(BM_BrowserRhythmRead)
    ->Arg(1 << 20)
    ->Arg(64 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// As the application asks: the journal read, then the face's and the mirror's counts.
void BM_PromptCadenceRead(benchmark::State& state) {
    auto path = writeJournal(static_cast<std::size_t>(state.range(0)), false);
    const TimePoint now = *Iso8601::parse("2026-01-03T18:00:00Z");
    for (auto _ : state) {
        const PromptCadence cadence = PromptCadence::read(path);
        benchmark::DoNotOptimize(cadence.count(600, now));
        benchmark::DoNotOptimize(cadence.count(1800, now));
        benchmark::DoNotOptimize(cadence.countToday(now));
    }
    perMiBRead(state, path, PromptCadence::readLimitBytes);
    std::filesystem::remove(path);
}
BENCHMARK(BM_PromptCadenceRead)
    ->Arg(1 << 20)
    ->Arg(64 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
