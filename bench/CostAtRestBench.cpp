// What the whole application costs at rest, as installed, side by side over the same minutes: with
// only its stone in the tray; its keep-alive, run as its systemd unit runs it beside that running
// copy; with the rhythm window open; and with that window minimised. Workrave, where it is
// installed, runs beside them as a peer. For each, over one window measured for all at once: CPU
// seconds an hour, wake-ups a second, and the processes and programs begun; and for each desktop,
// what its X server spent.
//
// Run from the checkout, after a build of the default preset:
//     build/default/bench/quillfen_bench --benchmark_filter=CostAtRest
// QUILLFEN_BENCH_REST_SECONDS sets the window (120 s unless set); the desktops come up and settle
// for some 30 s before it. It prints its table on standard output, goals beside the figures.
//
// This very build is installed with `cmake --install` under a throw-away stage (DESTDIR: the build
// refuses any prefix but the one it was configured for), whatever that install holds (a helper the
// keep-alive uses, say), and left as it was. The keep-alive's wrapper is the text LaunchAgent writes
// for that installed copy, run as the unit runs it: `/bin/bash <wrapper>`, no terminal, a session
// of its own, in the home of the running copy and with its environment. Each measured thing gets a
// desktop of its own (Xvfb 1280x800, openbox, a private bus with a tray on it; BenchDesktop) and a
// home of its own, so that the X server's figure is what that desktop drew for it alone.
//
// How each figure is taken (ProcessCost, CountedProcess):
// - CPU s/h: utime and stime, from /proc/<pid>/stat, of each process of its tree and of the children
//   each waited for, over the window, scaled to an hour.
// - wake-ups/s: voluntary and involuntary context switches of all the tree's threads, from
//   /proc/<pid>/task/*/status, looked at every second (a thread that starts and ends between two
//   looks is missed).
// - processes, programs: every fork and exec the tree begins in the window, each counted as it is
//   asked of the kernel, through a seccomp filter; threads are not counted. A kernel that refuses
//   the filter leaves the columns empty and the reason is printed.
// - X server: the CPU of the desktop's Xvfb. Xvfb has no compositor: a compositing desktop draws
//   more for an open window.
// A measurement, not a test: CTest never runs it.

#include <unistd.h>

#include <benchmark/benchmark.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchDesktop.h"
#include "CountedProcess.h"
#include "LaunchAgent.h"
#include "ProcessCost.h"
#include "RunningCopy.h"
#include "StartRequest.h"
#include "Support/Executables.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Variables = std::map<std::string, std::string>;

// Time for each copy's first tick, first reading of the agents' logs and first body publication,
// and for the keep-alive's first look at the copy, before the window begins.
constexpr auto kSettle = std::chrono::seconds(20);
constexpr auto kLookEvery = std::chrono::seconds(1);
constexpr double kTrayGoalCpuSecondsAnHour = 5;
constexpr double kWindowGoalCpuSecondsAnHour = 12;

std::chrono::seconds restWindow() {
    const char* set = std::getenv("QUILLFEN_BENCH_REST_SECONDS");
    const std::string_view text = set != nullptr ? set : "";
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return std::chrono::seconds(
        error == std::errc() && end == text.data() + text.size() && seconds > 0 ? seconds : 120);
}

// This build installed below a stage of its own. The build folder's lists of what it installed are
// put back as they were: an uninstall run from it later reads them.
class StagedCopy {
public:
    StagedCopy() {
        const fs::path build = QUILLFEN_BUILD_DIR;
        std::map<fs::path, std::optional<std::string>> lists;
        for (const char* name : {"install_manifest.txt", "install_folders.txt"})
            lists[build / name] =
                fs::exists(build / name) ? std::optional(test::readFile(build / name)) : std::nullopt;
        test::ChildProcess install(
            {"/usr/bin/env", "DESTDIR=" + stage_.path().string(), CMAKE_COMMAND, "--install", build.string()},
            {}, STDERR_FILENO);
        const auto errors = install.readRest(std::chrono::minutes(2));
        if (!install.endsWell()) problem_ = "the install failed: " + errors;
        for (const auto& [list, text] : lists) {
            std::error_code ignored;
            if (text)
                test::writeFile(list, *text);
            else
                fs::remove(list, ignored);
        }
    }
    const std::string& problem() const { return problem_; }
    RunningCopy::Installation installation() const {
        return {stage_.path() / RunningCopy::recorded().prefix.relative_path()};
    }

private:
    test::TempDir stage_;
    std::string problem_;
};

// A desktop with one home in it: what a measured program there is given.
struct Seat {
    bench::BenchDesktop desktop{true};
    test::TestHome home;

    Variables environment() const {
        auto variables = desktop.environment();
        for (const auto& [name, value] : home.environment())
            variables[name] = value;
        return variables;
    }
};

// What one measured thing did over the window.
struct Figures {
    long long cpuTicks = 0;
    long long switches = 0;
    std::optional<bench::Starts> starts;
    std::optional<long long> displayTicks;
    // It ended before the window did: its figures are not its rest's.
    bool ended = false;
};

// A measured thing: its process tree from its start on, and its desktop's X server where the
// desktop is its alone.
class Measured {
public:
    Measured(std::string label, std::unique_ptr<bench::CountedProcess> process, std::optional<pid_t> display)
        : label_(std::move(label)), process_(std::move(process)), cost_(process_->pid()) {
        if (display) display_.emplace(*display);
    }

    void look(const std::vector<bench::ProcessLook>& processes) {
        cost_.look(processes, bench::threadSwitches);
        if (display_) display_->look(processes, bench::threadSwitches);
    }
    void begin() { before_ = process_->starts(); }
    Figures figures() {
        Figures figures;
        figures.ended = process_->ended().has_value();
        figures.cpuTicks = cost_.cpuTicks();
        figures.switches = cost_.switches();
        if (process_->uncounted().empty()) {
            const auto now = process_->starts();
            figures.starts =
                bench::Starts{now.processes - before_.processes, now.programs - before_.programs};
        }
        if (display_) figures.displayTicks = display_->cpuTicks();
        return figures;
    }
    const std::string& label() const { return label_; }
    bench::CountedProcess& process() { return *process_; }

private:
    std::string label_;
    std::unique_ptr<bench::CountedProcess> process_;
    bench::TreeCost cost_;
    std::optional<bench::TreeCost> display_;
    bench::Starts before_;
};

std::string fixed(double value, int decimals = 1) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

class Table {
public:
    explicit Table(double seconds) : seconds_(seconds), hz_(static_cast<double>(::sysconf(_SC_CLK_TCK))) {}

    double cpuSecondsAnHour(long long ticks) const {
        return static_cast<double>(ticks) / hz_ * 3600 / seconds_;
    }

    void row(const std::string& label, const Figures& figures, const std::string& goal = "") {
        const auto starts = [&](long bench::Starts::*count) {
            return figures.starts ? std::to_string((*figures.starts).*count) : std::string("-");
        };
        std::printf("%-38s %8s %11s %10s %9s %13s   %s\n", label.c_str(),
                    fixed(cpuSecondsAnHour(figures.cpuTicks)).c_str(),
                    fixed(static_cast<double>(figures.switches) / seconds_).c_str(),
                    starts(&bench::Starts::processes).c_str(), starts(&bench::Starts::programs).c_str(),
                    figures.displayTicks ? fixed(cpuSecondsAnHour(*figures.displayTicks)).c_str() : "-",
                    goal.c_str());
    }

    static void header(double seconds) {
        std::printf("\nAt rest, side by side over the same %.0f s, each in a desktop of its own:\n", seconds);
        std::printf("%-38s %8s %11s %10s %9s %13s   %s\n", "", "CPU s/h", "wake-ups/s", "processes",
                    "programs", "X server s/h", "goal");
    }

private:
    double seconds_;
    double hz_;
};

Figures together(const Figures& a, const Figures& b) {
    Figures sum;
    sum.cpuTicks = a.cpuTicks + b.cpuTicks;
    sum.switches = a.switches + b.switches;
    sum.ended = a.ended || b.ended;
    if (a.starts && b.starts)
        sum.starts =
            bench::Starts{a.starts->processes + b.starts->processes, a.starts->programs + b.starts->programs};
    return sum;
}

std::string verdict(const Figures& figures, bool met) {
    if (figures.ended) return ": not judged, it ended";
    return met ? ": met" : ": NOT MET";
}

void BM_CostAtRest(benchmark::State& state) {
    const auto rest = restWindow();
    for (auto _ : state) {
        StagedCopy copy;
        if (!copy.problem().empty()) {
            state.SkipWithError(copy.problem().c_str());
            break;
        }
        const auto installation = copy.installation();
        const std::string launcher = installation.launcher().string();
        const auto workrave = Executables::onSearchPath("workrave");
        Seat tray, open, minimised;
        std::optional<Seat> peer;
        if (workrave) peer.emplace();
        std::string problem = peer ? peer->desktop.problem() : "";
        for (Seat* seat : {&tray, &open, &minimised}) {
            if (problem.empty()) problem = seat->desktop.problem();
            if (problem.empty() && !seat->home.keepAPromise()) problem = "a home could not be made";
        }
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            break;
        }

        // The copies, started as at login, each in a session of its own as the keep-alive starts one.
        const auto start = [&](Seat& seat) {
            return std::make_unique<bench::CountedProcess>(
                std::vector<std::string>{launcher, std::string(StartRequest::kUnattended)},
                seat.environment());
        };
        std::vector<Measured> measured;
        measured.reserve(5);
        measured.emplace_back("application, tray only", start(tray), tray.desktop.displayServer());
        measured.emplace_back("application, rhythm window open", start(open), open.desktop.displayServer());
        measured.emplace_back("application, rhythm window minimised", start(minimised),
                              minimised.desktop.displayServer());
        for (Seat* seat : {&tray, &open, &minimised})
            if (problem.empty() && !seat->desktop.applicationAnswers(std::chrono::seconds(60)))
                problem = "a copy never answered on its bus";
        // A second start with the same environment opens the running copy's rhythm window.
        for (Seat* seat : {&open, &minimised}) {
            if (!problem.empty()) break;
            test::ChildProcess second({launcher}, seat->environment());
            if (!second.endsWell() || !test::waitUntil([&] { return seat->desktop.rhythmWindow() != 0; }))
                problem = "the rhythm window never showed";
        }
        if (problem.empty()) {
            const auto window = std::to_string(minimised.desktop.rhythmWindow());
            if (!minimised.desktop.xdotool({"windowminimize", window}) ||
                !test::waitUntil([&] { return minimised.desktop.rhythmWindow() == 0; }))
                problem = "the rhythm window would not be minimised";
        }
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            break;
        }

        // The keep-alive as its unit runs it, beside the copy with only its tray.
        const auto wrapper = tray.home.dataDirectory() / "keepalive-wrapper.sh";
        test::writeFile(wrapper, LaunchAgent::wrapperScript(installation.build(), installation.launcher()));
        fs::permissions(wrapper, fs::perms(0755));
        measured.emplace_back(
            "keep-alive beside it",
            std::make_unique<bench::CountedProcess>(std::vector<std::string>{"/bin/bash", wrapper.string()},
                                                    tray.environment()),
            std::nullopt);
        if (peer) {
            // A program of the machine's, which reads the machine's folders (GTK its icons and its
            // types of files) where the application reads only its home's.
            auto environment = peer->environment();
            for (const auto& [name, value] : test::machineSettings())
                environment[name] = value;
            measured.emplace_back(
                "Workrave, its whole process tree",
                std::make_unique<bench::CountedProcess>(std::vector<std::string>{*workrave}, environment),
                peer->desktop.displayServer());
        }
        std::this_thread::sleep_for(kSettle);

        const auto lookAtAll = [&] {
            const auto processes = bench::lookAtProcesses();
            for (auto& thing : measured)
                thing.look(processes);
        };
        lookAtAll();
        for (auto& thing : measured)
            thing.begin();
        const auto began = std::chrono::steady_clock::now();
        for (auto next = began + kLookEvery; next < began + rest; next += kLookEvery) {
            std::this_thread::sleep_until(next);
            lookAtAll();
        }
        std::this_thread::sleep_until(began + rest);
        lookAtAll();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        state.SetIterationTime(seconds);

        std::vector<Figures> figures;
        for (auto& thing : measured)
            figures.push_back(thing.figures());
        Table table(seconds);
        Table::header(seconds);
        const auto both = together(figures[0], figures[3]);
        const bool trayMet = table.cpuSecondsAnHour(both.cpuTicks) <= kTrayGoalCpuSecondsAnHour &&
                             both.starts && both.starts->processes == 0 && both.starts->programs == 0;
        table.row(measured[0].label(), figures[0]);
        table.row(measured[3].label(), figures[3]);
        table.row("  the two together", both,
                  "at most " + fixed(kTrayGoalCpuSecondsAnHour, 0) + " CPU s/h, no program started" +
                      verdict(both, trayMet));
        for (const std::size_t i : {1, 2}) {
            const bool met = table.cpuSecondsAnHour(figures[i].cpuTicks) <= kWindowGoalCpuSecondsAnHour;
            table.row(
                measured[i].label(), figures[i],
                "at most " + fixed(kWindowGoalCpuSecondsAnHour, 0) + " CPU s/h" + verdict(figures[i], met));
        }
        if (peer) table.row(measured[4].label(), figures[4], "none: a peer, for comparison");
        if (!peer) std::printf("(no Workrave on this machine: `command -v workrave` finds none)\n");
        std::printf(
            "(X server: its desktop's Xvfb, which has no compositor; a compositing desktop draws more for an "
            "open window; openbox unmaps a window it minimises)\n");
        for (auto& thing : measured) {
            if (!thing.process().uncounted().empty())
                std::printf("(%s: processes and programs not counted: %s)\n", thing.label().c_str(),
                            thing.process().uncounted().c_str());
            if (const auto status = thing.process().ended())
                std::printf("(%s: ENDED during the measurement, wait status %d)\n", thing.label().c_str(),
                            *status);
        }
        std::fflush(stdout);

        state.counters["trayAndKeepAliveCpuSPerHour"] = table.cpuSecondsAnHour(both.cpuTicks);
        state.counters["trayAndKeepAlivePrograms"] =
            both.starts ? static_cast<double>(both.starts->programs) : -1;
        state.counters["rhythmWindowCpuSPerHour"] = table.cpuSecondsAnHour(figures[1].cpuTicks);
        state.counters["rhythmWindowXServerCpuSPerHour"] = table.cpuSecondsAnHour(*figures[1].displayTicks);
        state.counters["minimisedCpuSPerHour"] = table.cpuSecondsAnHour(figures[2].cpuTicks);
    }
}
// One run: what is measured is the state it rests in; the time is the window's.
BENCHMARK(BM_CostAtRest)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillfen
