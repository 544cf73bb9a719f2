#include <algorithm>
#include <cctype>
#include <filesystem>
#include <variant>

#include "AppController.h"
#include "Mind/ClaudeSidecarMind.h"
#include "Reflection/Reflection.h"
#include "Sky/FarlumeClient.h"

namespace quillfen {

namespace {

constexpr double kBodyIntervalSeconds = 300;
constexpr double kCodexStaleAfter = 7200;
constexpr double kConnectionRechecksSeconds[] = {8, 16, 30, 60};

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

void AppController::scheduleTicks() {
    tickTimer_ = desktop_.scheduler.every(tickInterval_, [this] { runTick(); });
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
    switchesGapSubscription_ = desktop_.activations.subscribeToGap([self] {
        if (self) self->refreshSensingGaps();
    });
    runTick();
}

void AppController::scheduleBodyRefresh() {
    bodyTimer_ = desktop_.scheduler.every(kBodyIntervalSeconds, [this] {
        refreshBody();
        refreshSky();
        refreshMindConnection();
    });
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
    // A place never fixed may have no service behind it, which is noted; a fix taken earlier
    // still serves.
    if (locationProvider_ && !location) (void)hasLocationService();
    QPointer<AppController> self(this);
    // Several checks may be out at once; the last to come back wins.
    work_->run<SkyVerdict>(
        "the sky check", [client, location](std::stop_token) { return client.skyCheck(location); },
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
    const std::optional<std::string> found = desktop_.claudeTool();
    if (!found) {
        publishMindConnection(MindConnection::notInstalled);
        return;
    }
    QPointer<AppController> self(this);
    auto runner = desktop_.processRunner;
    work_->run<std::optional<bool>>(
        "the mind connection check",
        [runner, exe = *found](std::stop_token stop) {
            return MindConnections::loggedInFromAuthStatusJson(runner ? runClaudeAuthStatus(*runner, exe, stop)
                                                                      : std::nullopt);
        },
        [self](std::optional<bool> loggedIn) {
            if (!self) return;
            self->publishMindConnection(MindConnections::read(true, true, loggedIn));
        });
}

void AppController::connectClaude() {
    // The path goes to the terminal as its own argument: no shell reads it. Without the tool
    // there is nothing to log in to; the rechecks below still notice one installed meanwhile.
    if (const auto tool = desktop_.claudeTool()) {
        desktop_.terminal.run(*tool, {"auth", "login"});
    } else {
        noteOnce("connect-without-tool", "mind", "no claude tool to log in with");
    }
    for (double seconds : kConnectionRechecksSeconds)
        later(seconds, [this] { refreshMindConnection(); });
}

std::optional<std::string> AppController::runClaudeAuthStatus(const ProcessRunner& runner, const std::string& exe,
                                                              std::stop_token stop, double deadlineSeconds) {
    // The runner reads the tool's output while it runs, so a long answer cannot fill the pipe
    // and hold the tool until the deadline, and it ends a tool that outlives the deadline.
    const ProcessResult result = runner.run(exe, {"auth", "status"}, deadlineSeconds, stop);
    if (const auto* output = std::get_if<std::string>(&result)) return *output;
    return std::nullopt;
}

void AppController::refreshCodexStatus() {
    if (codexStatusReading_) return;
    QPointer<AppController> self(this);
    const TimePoint now = desktop_.now();
    codexStatusReading_ = work_->run<CodexActivitySnapshot>(
        "the Codex reading",
        [now, read = desktop_.core.readCodex](std::stop_token) { return read(now, kCodexStaleAfter); },
        [self](CodexActivitySnapshot snapshot) {
            if (!self) return;
            self->codexSnapshot_ = snapshot;
            self->codexStatusReading_ = false;
        });
}

void AppController::refreshBody() {
    if (bodyReading_) return;
    QPointer<AppController> self(this);
    const TimePoint now = desktop_.now();
    bodyReading_ = work_->run<ClaudeBody>(
        "the Claude body reading",
        [now, read = desktop_.core.readClaudeBody](std::stop_token) { return read(now, 7); },
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
    work_->run<AIToolSignal>(
        "the AI tool reading", [now, read = desktop_.core.readAITools](std::stop_token) { return read(now); },
        [self](AIToolSignal signal) {
            if (self) self->publishAITool(signal);
        });
    // Only with full access is the calendar read at all; the folder is read off this thread.
    auto store = desktop_.eventStore;
    if (!store || store->accessStatus() != CalendarAccess::fullAccess) return;
    work_->run<CalendarSignal>("the calendar reading",
                               [store, now](std::stop_token) { return CalendarReader::read(*store, now); },
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
