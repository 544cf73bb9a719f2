#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Decision/NudgeBudget.h"
#include "Feedback/FaceFeedbackLog.h"
#include "Feedback/NudgeOutcomeTracker.h"
#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "support/BenchCorpora.h"
#include "support/TestEnvironment.h"

namespace {

using namespace quillfen;

// A store read from a file at its cap, as a start over a full (or hostile) home reads it.
template <typename Read>
void storeAtCap(benchmark::State& state, const std::string& text, std::size_t cap, Read read) {
    quillfen::test::TempDir dir;
    const auto file = dir.path() / "store.json";
    std::ofstream(file, std::ios::binary) << text;
    for (auto _ : state)
        read(std::make_shared<FileLogStore>(file, cap));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

const std::string kOutcome =
    R"({"outcome":"ignored","partOfDay":"afternoon","resolvedAt":"2026-01-05T14:00:00Z"})";

void BM_OutcomesAtCap(benchmark::State& state) {
    storeAtCap(state,
               test::BenchCorpora::documentAtCap(FileLogStore::kSmallStoreBytes,
                                                 R"({"pending":[],"history":[)", kOutcome, "]}"),
               FileLogStore::kSmallStoreBytes, [](auto store) {
                   NudgeOutcomeTracker tracker(store, systemClock(), NudgeOutcomeThresholds::defaults(), 20);
                   benchmark::DoNotOptimize(tracker.recentOutcomes(5));
               });
}
BENCHMARK(BM_OutcomesAtCap)->Unit(benchmark::kMillisecond);

void BM_FaceFeedbackAtCap(benchmark::State& state) {
    storeAtCap(state,
               test::BenchCorpora::documentAtCap(FileLogStore::kFaceFeedbackBytes, "[",
                                                 test::BenchCorpora::kFaceVerdict, "]"),
               FileLogStore::kFaceFeedbackBytes,
               [](auto store) { benchmark::DoNotOptimize(FaceFeedbackLog(store, 100000).count()); });
}
BENCHMARK(BM_FaceFeedbackAtCap)->Unit(benchmark::kMillisecond);

// The costliest shape a small store can be given: a megabyte of empty objects, which its owner
// then refuses.
void BM_HostileSmallStoreAtCap(benchmark::State& state) {
    storeAtCap(state, test::BenchCorpora::documentAtCap(FileLogStore::kSmallStoreBytes, "[", "{}", "]"),
               FileLogStore::kSmallStoreBytes, [](auto store) {
                   NudgeBudget budget(store, systemClock());
                   PromiseStore promises(store);
                   benchmark::DoNotOptimize(promises.hasPromise());
               });
}
BENCHMARK(BM_HostileSmallStoreAtCap)->Unit(benchmark::kMillisecond);

}  // namespace
