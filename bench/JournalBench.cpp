#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Signals/BrowserRhythm.h"
#include "Signals/PromptCadence.h"
#include "Support/Iso8601.h"

namespace {

using namespace quillfen;

// A journal of `bytes` or more, one record every few seconds, as the companions write them.
std::filesystem::path writeJournal(std::size_t bytes, bool browser) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillfen-bench-XXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    static const char* kEvents[] = {"tab_switch", "window_focus", "tab_switch",
                                    "idle",       "active",       "window_blur"};
    std::ofstream out(pattern, std::ios::binary);
    TimePoint t = *Iso8601::parse("2026-01-01T08:00:00Z");
    std::size_t written = 0;
    for (int i = 0; written < bytes; ++i) {
        std::string line =
            browser ? "{\"ts\":\"" + Iso8601::format(t) + "\",\"event\":\"" + kEvents[i % 6] + "\"}\n"
                    : "{\"ts\":\"" + Iso8601::format(t) + "\",\"session\":\"3f9a1c\"}\n";
        out << line;
        written += line.size();
        t += std::chrono::seconds(7);
    }
    return pattern;
}

void BM_BrowserRhythmRead(benchmark::State& state) {
    auto path = writeJournal(static_cast<std::size_t>(state.range(0)), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(BrowserRhythm::read(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_BrowserRhythmRead)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

void BM_PromptCadenceRead(benchmark::State& state) {
    auto path = writeJournal(static_cast<std::size_t>(state.range(0)), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(PromptCadence::read(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PromptCadenceRead)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
