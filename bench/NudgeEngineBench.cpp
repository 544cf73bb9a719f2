#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "FullLog.h"
#include "Log/FileLogStore.h"
#include "Log/MemoryLogStore.h"
#include "NudgeEngine.h"
#include "Support/Iso8601.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using bench::kFullLog;
using bench::kRetentionDays;

// A working day's shape: long fragmented stretches by day, idle at night.
SignalSample workingDaySampleAt(TimePoint t, int i) {
    const int minuteOfDay = i % 1440;
    SignalSample s;
    s.timestamp = t;
    s.localHour = minuteOfDay / 60.0;
    const bool working = minuteOfDay >= 8 * 60 && minuteOfDay < 19 * 60;
    s.continuousActiveSeconds = working ? 60.0 * ((minuteOfDay - 8 * 60) % 200) : 0;
    s.secondsSinceLastInput = working ? (i % 17) * 1.5 : 600;
    s.appSwitchesLastHour = working ? 6 + i % 20 : 0;
    if (i % 3 == 0) s.titleChurnPerHour = (i % 11) * 0.75;
    s.displayState = working ? DisplayState::awake : DisplayState::displayAsleep;
    return s;
}

using StoreFor = std::shared_ptr<LogStore> (*)(const std::filesystem::path& folder, const char* name);

// One tick whose earned nudge is held for a call, so no sky request is made: it logs the sample
// into a full fourteen-day log (rewriting it), builds the week, consults the outcome history and
// decides.
void heldTickOverFullLog(benchmark::State& state, StoreFor storeFor) {
    test::TempDir folder;
    auto now = std::make_shared<TimePoint>(std::chrono::system_clock::from_time_t(1767225600));  // 2026-01-01
    Clock clock = [now] { return *now; };

    auto logStore = storeFor(folder.path(), "signal-log.json");
    nlohmann::json seed = nlohmann::json::array();
    for (int i = 0; i < kFullLog; ++i) {
        *now += std::chrono::minutes(1);
        seed.push_back(sampleToJson(workingDaySampleAt(*now, i)));
    }
    if (logStore->write(seed.dump())) state.SkipWithError("cannot seed the log");

    auto outcomeStore = storeFor(folder.path(), "nudge-outcomes.json");
    nlohmann::json history = nlohmann::json::array();
    for (int i = 0; i < 20; ++i) {
        history.push_back({{"outcome", i % 3 ? "ignored" : "landed"},
                           {"partOfDay", "afternoon"},
                           {"resolvedAt", Iso8601::format(*now - std::chrono::hours(12 * (20 - i)))}});
    }
    if (outcomeStore->write(
            nlohmann::json{{"history", history}, {"pending", nlohmann::json::array()}}.dump()))
        state.SkipWithError("cannot seed the outcomes");

    AppConfig config;
    auto log = std::make_shared<SignalLog>(logStore, kRetentionDays, clock);
    auto budget = std::make_shared<NudgeBudget>(storeFor(folder.path(), "nudge-budget.json"), clock);
    auto tracker = std::make_shared<NudgeOutcomeTracker>(outcomeStore, clock);
    NudgeEngine engine(config, FarlumeClient(config, std::make_shared<CurlHttpFetcher>()), budget, log,
                       std::nullopt, tracker, clock);
    if (log->all().size() < static_cast<std::size_t>(kFullLog)) state.SkipWithError("log not full");

    int i = kFullLog;
    for (auto _ : state) {
        *now += std::chrono::minutes(1);
        SignalSample sample = workingDaySampleAt(*now, i++);
        sample.continuousActiveSeconds = 300 * 60.0;
        sample.appSwitchesLastHour = 20;
        sample.secondsSinceLastInput = 4;
        sample.localHour = 11.0;
        const TickResult result = engine.tick(sample, std::nullopt, {true, false}, {});
        if (result != TickResult::silent(SilenceReason::heldForFocus)) {
            state.SkipWithError("the nudge was not held");
            break;
        }
    }
    state.counters["samples"] = static_cast<double>(log->all().size());
}

void BM_NudgeEngineHeldTickFullLogToFile(benchmark::State& state) {
    heldTickOverFullLog(
        state, [](const std::filesystem::path& folder, const char* name) -> std::shared_ptr<LogStore> {
            return std::make_shared<FileLogStore>(folder / name);
        });
}

// The same without the disk: the tick's own work.
void BM_NudgeEngineHeldTickFullLogInMemory(benchmark::State& state) {
    heldTickOverFullLog(state, [](const std::filesystem::path&, const char*) -> std::shared_ptr<LogStore> {
        return std::make_shared<MemoryLogStore>();
    });
}

BENCHMARK(BM_NudgeEngineHeldTickFullLogToFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
// CPU time: the machine is shared, and the tick runs on one thread.
BENCHMARK(BM_NudgeEngineHeldTickFullLogInMemory)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace quillfen
