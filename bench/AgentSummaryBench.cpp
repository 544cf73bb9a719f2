#include <benchmark/benchmark.h>
#include <cstdlib>

#include "Contract/AgentSummary.h"
#include "Reflection/Reflection.h"
#include "Reflection/RhythmScore.h"
#include "Support/LocalCalendar.h"

namespace {

using namespace quillfen;

// A full retention of fourteen days at one sample a minute, as the tick writes them.
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

void BM_SummaryOfAFullLog(benchmark::State& state) {
    setenv("TZ", "Europe/Berlin", 1);
    const TimePoint now = LocalCalendar::fromLocal(2026, 1, 15, 15, 30);
    const std::vector<SignalSample> log = minuteLog(now);
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
