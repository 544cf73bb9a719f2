#include <stdlib.h>

#include <QApplication>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "BenchApplication.h"
#include "Log/DecisionLog.h"
#include "Support/Iso8601.h"
#include "support/BenchCorpora.h"
#include "support/ShellHarness.h"

namespace quillfen {
namespace {

constexpr std::size_t kDecisionsJournalBytes = 10 * 1024 * 1024;

// The decisions journal of a long-running install: the newest lines are today's, every kind the
// system writes, 10 MB in all.
std::string decisionsJournal(TimePoint now) {
    static const char* kKinds[] = {"face", "reset", "reflect", "stone", "face", "update"};
    std::string text;
    TimePoint t = now - std::chrono::hours(24 * 30);
    for (int i = 0; text.size() < kDecisionsJournalBytes; ++i) {
        nlohmann::json record = {{"ts", Iso8601::format(t)},
                                 {"kind", kKinds[i % 6]},
                                 {"detail", "calm to neutral, after a stretch of " + std::to_string(i % 180) + " min"}};
        text += record.dump() + "\n";
        t += std::chrono::seconds(30);
    }
    return text;
}

// A scattered, heavy day: every fact of the inspect window and the mirror has something to say.
ClaudeBody heavyWeek() {
    ClaudeBody body;
    body.available = true;
    body.today.observed = true;
    body.today.firstHour = 8.5;
    body.today.longestRunMin = 185;
    body.today.switches = 9;
    body.today.attention = AttentionState::fragmented;
    body.today.load = Load::high;
    for (int d = 0; d < 7; ++d) {
        ClaudeDay day = body.today;
        day.daysAgo = d;
        day.isToday = d == 0;
        body.days.push_back(day);
    }
    body.daysObserved = 7;
    body.longAfternoonsThisWeek = 3;
    body.fragmentedAfternoonsThisWeek = 2;
    return body;
}

// One body publication: the inspect facts, the reasons, the desktop pane, the breather's fires
// and the mirror, over fourteen days of samples, a 10 MB decisions journal and a week of the
// breather's and the prompt hook's journals.
void BM_BodyPublication(benchmark::State& state) {
    bench::ensureApplication();
    test::Harness h;
    h.clock.set(*Iso8601::parse("2026-01-14T15:30:00Z"));
    const TimePoint now = h.clock.now();
    nlohmann::json samples = nlohmann::json::array();
    for (const auto& sample : test::BenchCorpora::minuteLog(now)) samples.push_back(sampleToJson(sample));
    test::writeFile(h.home.dataDirectory() / "signal-log.json", samples.dump());
    const auto family = h.home.familyDirectory();
    test::writeFile(family / "prompt-cadence.jsonl", test::BenchCorpora::journal(512 * 1024, false));
    std::string fires, decisions;
    for (int i = 0; i < 7 * 24; ++i) {
        const std::string ts = Iso8601::format(now - std::chrono::hours(i));
        fires += "{\"ts\":\"" + ts + "\"}\n";
        decisions += "{\"ts\":\"" + ts + "\",\"verdict\":\"below\",\"slow\":" + std::to_string(i % 9) + "}\n";
    }
    test::writeFile(family / "breather-log.jsonl", fires);
    test::writeFile(family / "breather-decisions.jsonl", decisions);

    h.start({{"TAVRYN_QA_WINDOW_CYCLE", ""}});
    h.controller->setClaudeBody(heavyWeek());
    h.controller->publishBody();
    // Written after the first publication, whose face line would have cut it back.
    test::writeFile(DecisionLog::defaultFile(), decisionsJournal(now));
    for (auto _ : state) {
        h.controller->publishBody();
        auto fact = h.controller->mirrorModel().todayDecisionsFact();
        benchmark::DoNotOptimize(fact);
    }
    state.counters["samples"] = static_cast<double>(samples.size());
    state.counters["journalBytes"] = static_cast<double>(std::filesystem::file_size(DecisionLog::defaultFile()));
}
BENCHMARK(BM_BodyPublication)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace quillfen
