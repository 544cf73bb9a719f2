#include <malloc.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "FullLog.h"
#include "Log/FileLogStore.h"
#include "Log/MemoryLogStore.h"
#include "Log/SignalLog.h"
#include "Log/SignalLogText.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using bench::kFullLog;
using bench::kRetentionDays;

SignalSample sampleAt(TimePoint t, int i) {
    SignalSample s;
    s.timestamp = t;
    s.continuousActiveSeconds = 60.0 * (i % 180);
    s.appSwitchesLastHour = i % 40;
    s.secondsSinceLastInput = (i % 17) * 1.5;
    s.localHour = (i % 1440) / 60.0;
    if (i % 3 == 0) s.titleChurnPerHour = (i % 11) * 0.75;
    if (i % 5 == 0) s.displayState = DisplayState::awake;
    return s;
}

// Appends to a log that already holds fourteen days of samples, one a minute, so that every
// append also prunes one and rewrites the whole list.
void appendToFullLog(benchmark::State& state, std::shared_ptr<LogStore> store) {
    auto now = std::make_shared<TimePoint>(std::chrono::system_clock::from_time_t(1767225600));  // 2026-01-01
    Clock clock = [now] { return *now; };
    nlohmann::json seed = nlohmann::json::array();
    for (int i = 0; i < kFullLog; ++i) {
        *now += std::chrono::minutes(1);
        seed.push_back(sampleToJson(sampleAt(*now, i)));
    }
    if (store->write(seed.dump())) state.SkipWithError("cannot seed the log");
    SignalLog log(store, kRetentionDays, clock);
    if (log.all().size() < static_cast<std::size_t>(kFullLog)) state.SkipWithError("log not full");
    int i = kFullLog;
    for (auto _ : state) {
        *now += std::chrono::minutes(1);
        log.append(sampleAt(*now, i++));
    }
    state.counters["samples"] = static_cast<double>(log.all().size());
    if (auto bytes = store->read()) state.counters["fileBytes"] = static_cast<double>(bytes->size());
}

void BM_SignalLogAppendFullLogToFile(benchmark::State& state) {
    test::TempDir folder;
    appendToFullLog(state, std::make_shared<FileLogStore>(folder.path() / "signal-log.json"));
}

// The same without the disk: the cost of encoding, pruning and joining alone.
void BM_SignalLogAppendFullLogInMemory(benchmark::State& state) {
    appendToFullLog(state, std::make_shared<MemoryLogStore>());
}

BENCHMARK(BM_SignalLogAppendFullLogToFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SignalLogAppendFullLogInMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The text of a log of `count` samples, one a minute up to 2026-01-01.
std::string logText(int count, Clock& clock) {
    auto now = std::make_shared<TimePoint>(std::chrono::system_clock::from_time_t(1767225600) -
                                          std::chrono::minutes(count));
    clock = [now] { return *now; };
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        *now += std::chrono::minutes(1);
        if (i > 0) text += ',';
        SignalLogText::appendSample(text, sampleAt(*now, i));
    }
    return text + "]";
}

std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Start-up with a full log: read, decode, prune and the first rewrite.
void BM_SignalLogLoadFullLog(benchmark::State& state) {
    test::TempDir folder;
    Clock clock;
    const std::string text = logText(kFullLog, clock);
    auto store = std::make_shared<FileLogStore>(folder.path() / "signal-log.json");
    for (auto _ : state) {
        state.PauseTiming();
        if (store->write(text)) state.SkipWithError("cannot seed the log");
        state.ResumeTiming();
        SignalLog log(store, kRetentionDays, clock);
        benchmark::DoNotOptimize(log.snapshot()->size());
    }
    state.counters["fileBytes"] = static_cast<double>(text.size());
}

// A log at the stores' read cap of 16 MB: what decoding it holds beside its text, per byte of text.
void BM_SignalLogDecodeAtReadCap(benchmark::State& state) {
    Clock clock;
    std::string text = logText(16 * 1024 * 1024 / 162, clock);
    double heldPerByte = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        auto samples = SignalLogText::decode(text);
        heldPerByte = static_cast<double>(heapInUse() - before) / static_cast<double>(text.size());
        benchmark::DoNotOptimize(samples);
    }
    state.counters["textBytes"] = static_cast<double>(text.size());
    state.counters["heldPerTextByte"] = heldPerByte;
}

BENCHMARK(BM_SignalLogLoadFullLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalLogDecodeAtReadCap)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillfen
