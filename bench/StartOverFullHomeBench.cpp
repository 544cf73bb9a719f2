#include <signal.h>

#include <QDBusConnection>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

#include "BenchApplication.h"
#include "support/BenchCorpora.h"
#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

// The whole application started over a home where every file sits at its cap (the signal log at
// 16 MB, each small store and the settings at 1 MB, the face feedback at its cap, both journals
// where their cut begins): the time until it answers on the session bus, and the peak of its
// resident memory by then. Each start is the real binary in a fresh home, on a private bus and a
// virtual X server of its own. Goals: an answer within 3 s, a peak under 200 MB, also once the
// first tick and the first reading of the agents' logs have run (two seconds on).
void BM_StartOverAHomeAtItsCaps(benchmark::State& state) {
    bench::ensureApplication();
    test::PrivateBus bus;
    test::VirtualDisplay display;
    test::TempDir runtime;
    const QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("quillfen-bench"));
    const std::map<std::string, std::string> environment = {
        {"DISPLAY", display.name()},
        {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
        {"DBUS_SYSTEM_BUS_ADDRESS", bus.address()},
        {"XDG_RUNTIME_DIR", runtime.path().string()},
        {"QT_QPA_PLATFORM", "xcb"},
    };
    long peakAtAnswerKb = 0;
    long peakKb = 0;
    for (auto _ : state) {
        test::TestHome home;
        test::BenchCorpora::writeStoresAtTheirCaps(home.path(), std::chrono::system_clock::now());
        const auto started = std::chrono::steady_clock::now();
        test::ChildProcess app({QUILLFEN_BINARY}, environment);
        if (!test::waitUntil([&] { return test::applicationAnswers(connection); }, std::chrono::seconds(60))) {
            state.SkipWithError("the application never answered on the bus");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        peakAtAnswerKb = std::max(peakAtAnswerKb, app.peakResidentKb().value_or(0));
        test::waitUntil([] { return false; }, std::chrono::seconds(2));
        peakKb = std::max(peakKb, app.peakResidentKb().value_or(0));
        ::kill(app.pid(), SIGTERM);
        app.waitForExit(std::chrono::seconds(5));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("quillfen-bench"));
    state.counters["peakAtAnswerMB"] = static_cast<double>(peakAtAnswerKb) / 1024.0;
    state.counters["peakResidentMB"] = static_cast<double>(peakKb) / 1024.0;
}
BENCHMARK(BM_StartOverAHomeAtItsCaps)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillfen
