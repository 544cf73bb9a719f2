#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

#include "AppController.h"
#include "Mind/ClaudeSidecarMind.h"
#include "Reflection/Reflection.h"
#include "Signals/ClaudeBodyReader.h"
#include "Sky/FarlumeClient.h"

extern char** environ;

namespace quillfen {

namespace {

constexpr int kBodyIntervalMs = 300 * 1000;
constexpr double kCodexStaleAfter = 7200;
constexpr double kAuthStatusDeadline = 6.0;
// An auth status is one small JSON object; anything longer is not one.
constexpr std::size_t kAuthStatusMaxBytes = 1 << 20;
constexpr int kConnectionRechecksSeconds[] = {8, 16, 30, 60};

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isExecutableFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

void AppController::scheduleTicks() {
    tickTimer_.setTimerType(Qt::PreciseTimer);
    tickTimer_.setInterval(static_cast<int>(tickInterval_ * 1000));
    connect(&tickTimer_, &QTimer::timeout, this, &AppController::runTick, Qt::UniqueConnection);
    tickTimer_.start();
    // Waking from sleep, the screens coming back and the session unlocking each tick at once.
    // The sensing read subscribed first, so it already knows the new state.
    QPointer<AppController> self(this);
    auto tick = [self] {
        if (self) self->runTick();
    };
    sessionSubscription_ = desktop_.sessionEvents.subscribe({
        [tick](bool asleep) {
            if (!asleep) tick();
        },
        [tick](bool locked) {
            if (!locked) tick();
        },
        tick,
    });
    runTick();
}

void AppController::scheduleBodyRefresh() {
    bodyTimer_.stop();
    // Coarse: the system may fold it into other wake-ups.
    bodyTimer_.setTimerType(Qt::CoarseTimer);
    bodyTimer_.setInterval(kBodyIntervalMs);
    disconnect(&bodyTimer_, &QTimer::timeout, this, nullptr);
    connect(&bodyTimer_, &QTimer::timeout, this, [this] {
        refreshBody();
        refreshSky();
        refreshMindConnection();
    });
    bodyTimer_.start();
}

std::string AppController::todayLineFor(const TickResult& result, const std::string& reflection) {
    const auto silence = result.silence();
    if (!silence) return reflection;
    switch (*silence) {
        case SilenceReason::notEarnedYet:
            return reflection;
        case SilenceReason::rateCapReached:
            return "I already said my one thing this week.";
        case SilenceReason::nighttime:
            return "Night. I only watch, I don\u2019t speak after dark.";
        case SilenceReason::userIsAway:
            return "You\u2019re away from the desk. Nothing to note.";
        case SilenceReason::heldForFocus:
            return "You\u2019re deep in it. I\u2019ll stay quiet.";
        case SilenceReason::waitingForCodex:
            return "The work is moving on its own. I\u2019m just watching.";
    }
    return reflection;
}

void AppController::refreshTodayLine(const TickResult& result) {
    std::optional<AgentSummary> summary;
    if (claudeBody_.available) {
        const auto fired = budget_ ? budget_->firedToday() : 0;
        summary = claudeBody_.toSummary(desktop_.now(), static_cast<int>(fired), std::nullopt);
    }
    const bool reflective = result.fired() != nullptr || result.silence() == SilenceReason::notEarnedYet;
    std::string reflection = reflective ? Reflection::choose(generatedReflection_, Reflection::todayLine(summary)) : "";
    publishTodayLine(todayLineFor(result, reflection));
}

std::optional<std::string> AppController::skyLine(const SkyTail& tail) {
    if (tail.skyCondition) {
        return lowered(*tail.skyCondition) +
               (tail.isDaylight == true ? ", good light right now" : " out right now");
    }
    if (tail.isDaylight == true) return "good light out right now";
    return std::nullopt;
}

std::optional<std::string> AppController::outsidePhrase(const SkyVerdict& verdict) {
    if (!verdict.tail()) return std::nullopt;
    const SkyTail& tail = *verdict.tail();
    switch (verdict.kind()) {
        case SkyVerdict::Kind::worthIt:
            return skyLine(tail).value_or("good light out right now");
        case SkyVerdict::Kind::rare:
            if (tail.rareEventName && !tail.rareEventName->empty())
                return lowered(*tail.rareEventName) + " out tonight, worth looking up";
            return skyLine(tail).value_or("clear enough to be worth it");
        case SkyVerdict::Kind::unknown:
            break;
    }
    return std::nullopt;
}

void AppController::refreshSky() {
    if (config_.locationMode == LocationMode::none) return;
    FarlumeClient client(config_, desktop_.httpFetcher);
    std::optional<CoarseLocation> location;
    if (locationProvider_) location = locationProvider_->lastFix();
    QPointer<AppController> self(this);
    // Several checks may be out at once; the last to come back wins.
    work_->run<SkyVerdict>([client, location](std::stop_token) { return client.skyCheck(location); },
                           [self](SkyVerdict verdict) {
                               if (!self) return;
                               self->publishOutsideFact(outsidePhrase(verdict));
                           });
}

void AppController::refreshMindConnection() {
    if (!config_.cloudMindEnabled) {
        publishMindConnection(MindConnection::off);
        return;
    }
    const std::string exe = ClaudeSidecarMind::defaultExecutable();
    if (!isExecutableFile(exe)) {
        publishMindConnection(MindConnection::notInstalled);
        return;
    }
    QPointer<AppController> self(this);
    work_->run<std::optional<bool>>(
        [exe](std::stop_token stop) {
            return MindConnections::loggedInFromAuthStatusJson(runClaudeAuthStatus(exe, stop));
        },
        [self](std::optional<bool> loggedIn) {
            if (!self) return;
            self->publishMindConnection(MindConnections::read(true, true, loggedIn));
        });
}

void AppController::connectClaude() {
    // The path goes to the terminal as its own argument: no shell reads it.
    desktop_.terminal.run(ClaudeSidecarMind::defaultExecutable(), {"auth", "login"});
    QPointer<AppController> self(this);
    for (int seconds : kConnectionRechecksSeconds) {
        QTimer::singleShot(seconds * 1000, this, [self] {
            if (self) self->refreshMindConnection();
        });
    }
}

std::optional<std::string> AppController::runClaudeAuthStatus(const std::string& exe, std::stop_token stop) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // Never read, so never a pipe: a tool that talks a lot on it must not stall.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own group, so ending it ends whatever it started.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string path = exe, auth = "auth", status = "status";
    char* argv[] = {path.data(), auth.data(), status.data(), nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    if (error != 0) {
        ::close(out[0]);
        return std::nullopt;
    }

    // The output is drained while the tool runs, so a long answer cannot fill the pipe and
    // hold the tool until the deadline.
    std::string output;
    bool open = true, tooLong = false;
    std::optional<int> exited;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(kAuthStatusDeadline));
    while (open || !exited) {
        if (!exited) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) exited = status;
        }
        if (stop.stop_requested() || std::chrono::steady_clock::now() >= deadline) break;
        if (open) {
            pollfd fd{out[0], POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(out[0], buffer, sizeof buffer);
                if (n > 0) {
                    if (output.size() + static_cast<std::size_t>(n) > kAuthStatusMaxBytes) tooLong = true;
                    if (!tooLong) output.append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    open = false;
                }
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ::close(out[0]);
    if (!exited) {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return std::nullopt;
    }
    if (tooLong) return std::nullopt;
    return output;
}

void AppController::refreshCodexStatus() {
    if (codexStatusReading_) return;
    codexStatusReading_ = true;
    QPointer<AppController> self(this);
    const TimePoint now = desktop_.now();
    work_->run<CodexActivitySnapshot>(
        [now](std::stop_token) { return CodexActivityReader::readSnapshot(now, std::nullopt, kCodexStaleAfter); },
        [self](CodexActivitySnapshot snapshot) {
            if (!self) return;
            self->codexSnapshot_ = snapshot;
            self->codexStatusReading_ = false;
        });
}

void AppController::refreshBody() {
    if (bodyReading_) return;
    bodyReading_ = true;
    QPointer<AppController> self(this);
    const TimePoint now = desktop_.now();
    work_->run<ClaudeBody>([now](std::stop_token) { return ClaudeBodyReader::read(now, 7, std::nullopt); },
                           [self](ClaudeBody body) {
                               if (!self) return;
                               self->bodyReading_ = false;
                               self->claudeBody_ = std::move(body);
                               self->publishBody();
                           });
}

void AppController::refreshCrossSignals() {
    QPointer<AppController> self(this);
    const TimePoint now = desktop_.now();
    work_->run<AIToolSignal>([now](std::stop_token) { return AIToolReader::read(now, std::nullopt); },
                             [self](AIToolSignal signal) {
                                 if (self) self->publishAITool(signal);
                             });
    // Only with full access is the calendar read at all; the folder is read off this thread.
    auto store = desktop_.eventStore;
    if (!store || store->accessStatus() != CalendarAccess::fullAccess) return;
    work_->run<CalendarSignal>([store, now](std::stop_token) { return CalendarReader::read(*store, now); },
                               [self](CalendarSignal signal) {
                                   if (self) self->applyCalendar(signal);
                               });
}

void AppController::applyCalendar(const CalendarSignal& signal) {
    inspectModel_.setCalAuthorized(signal.authorized);
    inspectModel_.setCalMeetingsToday(signal.meetingsToday);
    inspectModel_.setCalBusyMin(signal.busyMinutesToday);
    inspectModel_.setCalBackToBack(signal.backToBack);
    inspectModel_.setCalNextInMin(signal.nextInMin);
}

// The inspect window's calendar fields are the controller's memory of the last reading.
std::optional<RhythmScore::CalendarDensity> AppController::currentCalendarDensity() const {
    if (!inspectModel_.calAuthorized()) return std::nullopt;
    return RhythmScore::CalendarDensity{inspectModel_.calBackToBack(), inspectModel_.calBusyMin()};
}

}  // namespace quillfen
