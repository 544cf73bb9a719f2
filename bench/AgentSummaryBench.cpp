#include <benchmark/benchmark.h>
#include <cstdlib>

#include "Contract/AgentSummary.h"
#include "Reflection/Reflection.h"
#include "Reflection/RhythmScore.h"
#include "Support/LocalCalendar.h"
#include "support/BenchCorpora.h"

namespace {

using namespace quillfen;

void BM_SummaryOfAFullLog(benchmark::State& state) {
    setenv("TZ", "Europe/Berlin", 1);
    const TimePoint now = LocalCalendar::fromLocal(2026, 1, 15, 15, 30);
    // A full retention of fourteen days at one sample a minute.
    const std::vector<SignalSample> log = test::BenchCorpora::minuteLog(now);
    for (auto _ : state) {
        const AgentSummary summary = AgentSummary::build(log, now, AgentProfile::work, 1, std::nullopt);
        benchmark::DoNotOptimize(RhythmScore::of(summary));
        benchmark::DoNotOptimize(Reflection::todayLine(summary));
    }
}
BENCHMARK(BM_SummaryOfAFullLog)->Unit(benchmark::kMillisecond);

void BM_SummaryDocumentAndLeakCheck(benchmark::State& state) {
    AgentSummary summary;
    for (auto _ : state)
        benchmark::DoNotOptimize(summary.assertNoRawLeak());
}
BENCHMARK(BM_SummaryDocumentAndLeakCheck)->Unit(benchmark::kMicrosecond);

}  // namespace
