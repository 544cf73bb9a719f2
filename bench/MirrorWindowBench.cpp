#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <memory>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "Signals/RhythmStrip.h"
#include "Support/Iso8601.h"
#include "UI/InspectModel.h"
#include "UI/MirrorModel.h"
#include "UI/MirrorPanel.h"

namespace quillfen {
namespace {

constexpr int kDays = 14;

const TimePoint kNow = *Iso8601::parse("2026-01-14T17:30:00Z");

// Fourteen days of a sample a minute, working days long and scattered, and the week's facts:
// everything the mirror can show at once, both banners and all seven facts included.
struct FullModels {
    InspectModel inspect{kNow};
    MirrorModel mirror;

    FullModels() {
        std::vector<SignalSample> samples;
        const TimePoint start = addSeconds(kNow, -kDays * 86400.0);
        for (int i = 0; i < kDays * 1440; ++i) {
            const int minute = i % 1440;
            const bool working = minute >= 7 * 60 && minute < 22 * 60 && (minute / 50) % 4 != 3;
            if (!working) continue;
            SignalSample s;
            s.timestamp = addSeconds(start, i * 60.0);
            s.appSwitchesLastHour = 6 + i % 70;
            s.secondsSinceLastInput = (i % 17) * 1.5;
            samples.push_back(s);
        }
        std::vector<AgentSummary::DayMark> week;
        for (int d = 0; d < kDays; ++d) week.push_back({d, d == 0, d % 6 != 5, d % 3 == 1, d % 2 == 1});

        mirror.setToday(RhythmStrip::today(samples, kNow));
        mirror.setWeek(week);
        mirror.setDeadman(DeadmanSignal{DeadmanSignal::State::notSensing()});
        mirror.setMindConnection(MindConnection::needsConnection);
        mirror.setReflectionLine("Two long afternoons this week, and today ran long again before lunch.");
        mirror.setLongestRunMin(185);
        mirror.setPullsLast10m(4);
        mirror.setPullsToday(63);
        mirror.setLoopsToday(2);
        mirror.publishFace(FaceEvidence::of(samples.back(), false), kNow, 38, false);
        mirror.setTodayDecisionsFact("spoke at 9:05, 14:40 \u00b7 nearest miss 5 pulls in a half hour");
        mirror.setHeldTodayFact("a ten minute hold at 15:20, yours to keep or delete");

        inspect.setWeek(week);
        inspect.setRhythmScore(0.64);
        inspect.setAtScreenFact("since 7:00, longest stretch 3h 5m");
        inspect.setThisWeekFact("two heavy afternoons, one scattered");
        inspect.setRightNowFact("scattered, plugged in");
        inspect.setOutsideFact("good light out right now");
        inspect.setBrowserFact("14 tab switches this hour, 1h 20m in the browser today");
        inspect.setTimesSpokenFact("twice this week, inside replies");
    }
};

void layOut(QWidget& window) {
    window.resize(580, 640);
    window.show();
    // A wrapped text's height reaches the outer layouts over a few rounds of posted events.
    for (int i = 0; i < 4; ++i) QCoreApplication::sendPostedEvents();
}

void BM_MirrorWindowOpens(benchmark::State& state) {
    bench::ensureApplication();
    FullModels models;
    const Clock now = [] { return kNow; };
    for (auto _ : state) {
        MirrorPanel panel(models.mirror, models.inspect, {[] {}, [] {}, [] {}}, now);
        layOut(panel);
        benchmark::DoNotOptimize(panel.content()->height());
    }
}
BENCHMARK(BM_MirrorWindowOpens)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The same, up to its first picture at twice the pixels.
void BM_MirrorWindowFirstPaint(benchmark::State& state) {
    bench::ensureApplication();
    FullModels models;
    const Clock now = [] { return kNow; };
    QImage image(QSize(1160, 1280), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (auto _ : state) {
        MirrorPanel panel(models.mirror, models.inspect, {[] {}, [] {}, [] {}}, now);
        layOut(panel);
        panel.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_MirrorWindowFirstPaint)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace quillfen
