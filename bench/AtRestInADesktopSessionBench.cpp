#include <signal.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ApplicationService.h"
#include "BenchDesktop.h"
#include "StartRequest.h"
#include "support/ChildProcess.h"

namespace quillfen {
namespace {

using Variables = std::map<std::string, std::string>;

// What each desktop's session sets, which the toolkit reads to choose its theme.
const Variables kPlasma6{{"XDG_CURRENT_DESKTOP", "KDE"},
                         {"KDE_FULL_SESSION", "true"},
                         {"KDE_SESSION_VERSION", "6"},
                         {"DESKTOP_SESSION", "plasma"},
                         {"XDG_SESSION_DESKTOP", "KDE"}};
const Variables kGnome{
    {"XDG_CURRENT_DESKTOP", "GNOME"}, {"DESKTOP_SESSION", "gnome"}, {"XDG_SESSION_DESKTOP", "gnome"}};

// How long the application is left to itself before it is measured: its first tick, the first
// reading of the agents' logs and its first body publication are over by then.
constexpr auto kRest = std::chrono::seconds(15);

// The libraries of KDE's frameworks, its platform theme and its style.
const std::vector<std::string> kKdeLibraries{"/libKF5", "/libKF6", "KDEPlasmaPlatformTheme", "/breeze"};

// The whole application at rest in a desktop session's environment, past its first start, its stone
// in a tray that takes it over the session bus (as Plasma's does, and GNOME's with its extension):
// its resident memory, its threads and the libraries of KDE's it maps, with its windows closed and
// with the rhythm window open. The same build with a Plasma 6 session's variables and with a GNOME
// session's, on a virtual X server and a private bus of its own. On a machine with KDE's Qt 6
// platform theme (Debian 13's plasma-integration), Plasma's is what a Plasma 6 desktop costs.
// Goals: about 60 MB and 5 threads at most, and no library of KDE's. QUILLFEN_BENCH_BINARY names
// another build to measure, an earlier one say.
void BM_AtRestInADesktopSession(benchmark::State& state, const Variables& session, bool rhythmWindow) {
    const char* other = std::getenv("QUILLFEN_BENCH_BINARY");
    const std::string binary = other != nullptr && *other != '\0' ? other : QUILLFEN_BINARY;
    bench::BenchDesktop desktop;
    auto environment = desktop.environment();
    environment.insert(session.begin(), session.end());
    long residentKb = 0, threads = 0;
    std::size_t kde = 0, libraries = 0;
    for (auto _ : state) {
        test::TestHome home;
        if (!home.keepAPromise()) {
            state.SkipWithError("the home could not be made");
            break;
        }
        const auto started = std::chrono::steady_clock::now();
        test::ChildProcess app({binary, std::string(StartRequest::kUnattended)}, environment);
        if (!desktop.applicationAnswers(std::chrono::seconds(60))) {
            state.SkipWithError("the application never answered on the bus");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        if (rhythmWindow) {
            // As a second start asks for it, or a click on the stone.
            ApplicationService::forward(desktop.bus(), StartRequest::of({}), std::chrono::seconds(10));
            if (!test::waitUntil([&] { return desktop.rhythmWindow() != 0; })) {
                state.SkipWithError("the rhythm window never showed");
                break;
            }
        }
        test::waitUntil([] { return false; }, kRest);
        residentKb = app.status("VmRSS").value_or(0);
        threads = app.status("Threads").value_or(0);
        kde = app.mappedFiles(kKdeLibraries).size();
        libraries = app.mappedFiles({".so"}).size();
        ::kill(app.pid(), SIGTERM);
        app.waitForExit(std::chrono::seconds(5));
    }
    state.counters["residentMB"] = static_cast<double>(residentKb) / 1024.0;
    state.counters["threads"] = static_cast<double>(threads);
    state.counters["kdeLibraries"] = static_cast<double>(kde);
    state.counters["libraries"] = static_cast<double>(libraries);
}
// One start each: what is measured is the state it rests in; the time is the start's, to its first
// answer on the bus.
void once(benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(BM_AtRestInADesktopSession, plasma6_windowsClosed, kPlasma6, false)->Apply(once);
BENCHMARK_CAPTURE(BM_AtRestInADesktopSession, gnome_windowsClosed, kGnome, false)->Apply(once);
BENCHMARK_CAPTURE(BM_AtRestInADesktopSession, plasma6_rhythmWindow, kPlasma6, true)->Apply(once);
BENCHMARK_CAPTURE(BM_AtRestInADesktopSession, gnome_rhythmWindow, kGnome, true)->Apply(once);

}  // namespace
}  // namespace quillfen
