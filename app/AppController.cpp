#include "AppController.h"

#include <QApplication>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "Log/DecisionLog.h"
#include "Log/FileLogStore.h"
#include "Log/LineJournal.h"
#include "Mind/AgentTenant.h"
#include "Mind/ClaudeSidecarMind.h"
#include "Mind/LangfusePrompt.h"
#include "Onboarding/InterruptBoundary.h"
#include "Signals/AgentLogFiles.h"
#include "SingleInstance.h"
#include "Sky/FarlumeClient.h"
#include "Support/PathWalk.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"
#include "UI/MenuBarGlyphHost.h"

namespace quillfen {

namespace {

// Whether a file or folder below the home is there as its readers find it: its first folder
// (~/.claude) and every folder from there down the user's, and only their own links followed. A
// ~/.claude of another user, or one reached through their link, holds nothing of the user's.
bool isTheUsers(const std::filesystem::path& homeRelative) {
    const auto first = homeRelative.begin();
    if (first == homeRelative.end()) return false;
    const auto top = Paths::home() / *first;
    const auto below = homeRelative.lexically_relative(*first);
    if (below.empty() || below == ".") return static_cast<bool>(AgentLogFiles::openFolder(top));
    const auto folder = AgentLogFiles::openFolder(top, below.parent_path());
    if (!folder) return false;
    auto found = PathWalk::walkOn(folder.fd->duplicate(), folder.path, below.filename(), PathWalk::Kind::file);
    if (PathWalk::ownedByTheUser(found, PathWalk::Kind::file).ok()) return found.exists;
    return static_cast<bool>(AgentLogFiles::subFolder(folder, below.filename()));
}

constexpr double kHeartbeatStaleAfter = 900;
constexpr std::int64_t kFaceFeedbackLimit = 10000;

bool present(const Environment& environment, const char* name) {
    return environment.find(name) != environment.end();
}

// The files each folder of ours holds, whose temporaries a killed write may have left.
constexpr std::string_view kDataFiles[] = {
    "signal-log.json", "heartbeat.json",   "nudge-budget.json",   "nudge-outcomes.json",
    "promise.json",    "ask-history.json", "stone-identity.json", "langfuse-prompt-cache.json"};
constexpr std::string_view kFamilyFiles[] = {"decisions-log.jsonl", "actions-log.jsonl",
                                             "face-feedback.json"};

template <std::size_t N>
std::function<bool(std::string_view)> oneOf(const std::string_view (&names)[N]) {
    return [&names](std::string_view name) {
        return std::find(std::begin(names), std::end(names), name) != std::end(names);
    };
}

// "QUILLFEN_JOURNAL_TRIM=<bytes>:<lines>": a test of the whole application sees its journals cut
// after a few lines rather than millions.
void applyJournalTrimOverride(const Environment& environment) {
    auto it = environment.find("QUILLFEN_JOURNAL_TRIM");
    if (it == environment.end()) return;
    unsigned long long bytes = 0;
    std::size_t lines = 0;
    if (std::sscanf(it->second.c_str(), "%llu:%zu", &bytes, &lines) == 2 && bytes > 0)
        LineJournal::overrideTrimLimits(bytes, lines);
}

}  // namespace

AppController::RunKind AppController::RunKind::of(const Environment& environment) {
    RunKind run;
    // The same rule that keeps the run out of the single-instance lock and the keep-alive.
    run.developer = SingleInstance::isOneShotRun(environment);
    run.windowCycle = present(environment, "TAVRYN_QA_WINDOW_CYCLE");
    run.demoNudge = present(environment, "TAVRYN_DEMO_NUDGE");
    run.inspect = present(environment, "TAVRYN_INSPECT");
    run.inspectDev = present(environment, "TAVRYN_INSPECT_DEV");
    run.forceOnboard = present(environment, "TAVRYN_FORCE_ONBOARD");
    return run;
}

AppController::AppController(Desktop desktop, QObject* parent)
    : QObject(parent),
      desktop_(std::move(desktop)),
      run_(RunKind::of(desktop_.environment)),
      config_(AppConfig::fromEnvironment(desktop_.environment)),
      work_(new BackgroundWork(this)),
      calendarBreak_(std::make_shared<CalendarBreakScheduler>(desktop_.eventStore, desktop_.defaults, std::nullopt,
                                                               CalendarBreak::Config::defaults(), desktop_.now)),
      inspectModel_(desktop_.now()) {}

AppController::~AppController() {
    dropWaitingSteps();
    // Nothing is handed back to a controller on its way out.
    if (work_) work_->stopAll(std::chrono::milliseconds(0));
}

void AppController::later(double seconds, std::function<void()> step) {
    std::erase_if(deferred_, [](const AnimationDriver::Handle& handle) { return !handle.active(); });
    deferred_.push_back(desktop_.scheduler.after(seconds, std::move(step)));
}

void AppController::dropWaitingSteps() {
    tickTimer_.reset();
    bodyTimer_.reset();
    deferred_.clear();
}

void AppController::noteOnce(const char* key, std::string_view category, std::string_view message) {
    if (std::find(noted_.begin(), noted_.end(), key) != noted_.end()) return;
    noted_.emplace_back(key);
    SystemLog::info(category, message);
}

void AppController::applicationDidFinishLaunching() {
    buildCore();
    refreshStoneSurfaces();
    buildStatusItem();
    wirePanelActions();
    QPointer<AppController> self(this);
    appearanceSubscription_ = desktop_.appearance.subscribe([self] {
        if (self) self->followReduceMotion();
    });

    bool onboardingOpened = false;
    if (!run_.developer) {
        if (desktop_.upkeep.startSelfUpdater) desktop_.upkeep.startSelfUpdater();
        if (desktop_.upkeep.installKeepAlive) desktop_.upkeep.installKeepAlive();
        if (desktop_.upkeep.enableLoginItemOnce) desktop_.upkeep.enableLoginItemOnce(desktop_.defaults);
        if (promiseStore_ && promiseStore_->hasPromise()) {
            notifications_->requestAuthorization([](bool) {});
        } else if (run_.forceOnboard || !run_.inspect) {
            onboardingOpened = true;
            openOnboarding(OnboardingBeat::recognition, OnboardingModel::Entry::firstRun);
        }
    }

    applyStoredBoundary();

    if (config_.locationMode == LocationMode::coreLocationCoarse) {
        if (!locationProvider_ && desktop_.makeLocationManager)
            locationProvider_ = std::make_unique<LocationProvider>(desktop_.makeLocationManager());
        if (!onboardingOpened && hasLocationService()) {
            auto& manager = locationProvider_->manager();
            switch (manager.authorizationStatus()) {
                case LocationAuthorization::notDetermined:
                    manager.requestWhenInUseAuthorization();
                    break;
                case LocationAuthorization::authorized:
                    manager.requestLocation();
                    break;
                default:
                    break;
            }
        }
    }

    if (run_.inspect) tickInterval_ = 5.0;
    scheduleTicks();
    refreshTodayLine(TickResult::silent(SilenceReason::notEarnedYet));
    refreshBody();
    refreshSky();
    refreshMindConnection();
    scheduleBodyRefresh();

    if (run_.inspect) openInspectWindow(false);
    if (run_.inspectDev) openInspectWindow(true);
    runDeveloperHooks();
}

bool AppController::hasLocationService() {
    if (!locationProvider_) return false;
    if (locationProvider_->manager().serviceAvailable()) return true;
    noteOnce("no-location", "location",
             "no location service (GeoClue) is on the system bus: the sky is asked without a location");
    return false;
}

void AppController::applyStoredBoundary() {
    auto stored = desktop_.defaults.string(InterruptBoundaries::storageKey);
    // Nothing stored keeps the configured thresholds; an unknown text counts as the default
    // boundary, which applying then writes back in its place.
    if (!stored) return;
    applyBoundary(InterruptBoundaries::stored(stored));
}

void AppController::applyBoundary(InterruptBoundary boundary) {
    // The panel's frequency at the same position sets the thresholds and stores the choice.
    applyFrequency(nudgeFrequency(boundary));
    publishBoundary(boundary);
}

void AppController::buildCore() {
    applyJournalTrimOverride(desktop_.environment);
    const auto logFolder = FileLogStore::logDirectory();
    const auto familyFolder = FileLogStore::familyDirectory();
    // What a write killed half-way left behind; a write of this run is younger than a minute.
    if (logFolder) SafeFile::removeLeftoverTemporaries(*logFolder, oneOf(kDataFiles), desktop_.now());
    if (familyFolder) SafeFile::removeLeftoverTemporaries(*familyFolder, oneOf(kFamilyFiles), desktop_.now());
    signalStore_ = FileLogStore::in(logFolder, "signal-log.json", FileLogStore::kSignalLogBytes);
    log_ = std::make_shared<SignalLog>(signalStore_, config_.logRetentionDays, desktop_.now);
    mirrorModel_.setThresholds(config_.faceThresholds);
    if (logFolder) deadmanFiles_ = DeadmanFiles::canonical(*logFolder / "signal-log.json");
    budgetStore_ = FileLogStore::in(logFolder, "nudge-budget.json");
    budget_ = std::make_shared<NudgeBudget>(budgetStore_, desktop_.now);
    feedbackLog_ = std::make_shared<FaceFeedbackLog>(
        FileLogStore::in(familyFolder, "face-feedback.json", FileLogStore::kFaceFeedbackBytes),
        kFaceFeedbackLimit);
    promiseStore_ = std::make_shared<PromiseStore>(FileLogStore::in(logFolder, "promise.json"));
    stoneIdentityStore_ =
        std::make_shared<StoneIdentityStore>(FileLogStore::in(logFolder, "stone-identity.json"));
    handoffEntry_ = std::make_unique<HandoffEntry>(
        stoneIdentityStore_,
        [](std::string_view kind, std::string_view detail, TimePoint now) { DecisionLog::append(kind, detail, now); },
        desktop_.now);
    liveness_ = std::make_shared<HeartbeatLiveness>(FileLogStore::in(logFolder, "heartbeat.json"),
                                                    kHeartbeatStaleAfter, desktop_.now);
    askHistoryStore_ = FileLogStore::in(logFolder, "ask-history.json");
    restoreAskHistory();
    outcomeTracker_ = std::make_shared<NudgeOutcomeTracker>(
        FileLogStore::in(logFolder, "nudge-outcomes.json"), desktop_.now, NudgeOutcomeThresholds::defaults(),
        NudgeOutcomeTracker::defaultHistoryLimit);
    bridge_ = makeBridge();
    engine_ = makeEngine();
    reader_ = std::make_unique<SignalReader>(
        SensingPlatform{desktop_.idleTime, desktop_.activations, desktop_.sessionEvents},
        [](std::string kind, std::string detail, TimePoint now) { DecisionLog::append(kind, detail, now); },
        config_.mapperThresholds.idleSeconds, desktop_.now);
    QPointer<AppController> self(this);
    notifications_ = std::make_unique<NotificationManager>(desktop_.notifications, desktop_.defaults, [self] {
        // The tap is answered after the response's own handling has finished.
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self) self->handleNotificationPrimaryTap();
            },
            Qt::QueuedConnection);
    });
    panelModel_.setFireThresholdMinutes(config_.deciderThresholds.fireAfterMinutes);
    panelModel_.setObserveOnly(config_.observeOnly);
    wireInspector();
}

void AppController::wireInspector() {
    QPointer<AppController> self(this);
    inspectModel_.onRefresh = [self] {
        if (self) self->runTick();
        if (self) self->refreshCrossSignals();
        if (self) self->refreshBody();
        if (self) self->refreshSky();
    };
    inspectModel_.onAskIlvane = [self] {
        if (self) self->askIlvane();
    };
}

EngineTick AppController::makeEngine() const {
    return desktop_.core.makeEngine(EngineParts{config_, FarlumeClient(config_, desktop_.httpFetcher),
                                                budget_, log_, bridge_, outcomeTracker_, desktop_.now,
                                                lastFire_});
}

std::shared_ptr<const AgentMind> AppController::makeMind(double processTimeout) const {
    if (!config_.cloudMindEnabled) return nullptr;
    const std::optional<std::string> executable = desktop_.claudeTool();
    if (!executable) return nullptr;
    const std::string persona = ClaudeSidecarMind::defaultPersonaPath();
    if (!isTheUsers(std::filesystem::path(persona).lexically_relative(Paths::home()))) return nullptr;
    return std::make_shared<ClaudeSidecarMind>(
        *executable, persona, config_.cloudMindModel, processTimeout, desktop_.processRunner,
        ClaudeSidecarMind::sharedLangfuseCache(), LangfuseCredentials::fromEnvironment(desktop_.environment),
        std::string(ClaudeSidecarMind::defaultLangfusePromptName),
        std::string(ClaudeSidecarMind::defaultLangfuseReflectionPromptName), "production");
}

std::optional<MindBridge> AppController::makeBridge() const {
    const MindTimeouts& timeouts = desktop_.core.mindTimeouts;
    auto mind = makeMind(timeouts.process);
    if (!mind) return std::nullopt;
    return MindBridge(AgentTenant::ilvane(), std::move(mind), config_.cloudMindTimeout, timeouts.reflection);
}

void AppController::restoreAskHistory() {
    if (!askHistoryStore_) return;
    auto bytes = askHistoryStore_->read();
    if (!bytes) return;
    if (!restoreAskHistory(*bytes)) askHistoryStore_->markUndecodable();
}

bool AppController::restoreAskHistory(const std::string& bytes) {
    auto document = nlohmann::json::parse(bytes, nullptr, false);
    if (document.is_discarded() || !document.is_object()) return false;
    // "history" is what makes the file ours: a file without it is someone else's, or broken.
    auto it = document.find("history");
    if (it == document.end() || it->is_null()) return false;
    const std::optional<LineHistory> history = lineHistoryFromJson(*it);
    std::optional<Uuid> move;
    if (auto moveIt = document.find("lastMoveId"); moveIt != document.end() && !moveIt->is_null()) {
        if (!moveIt->is_string()) return false;
        move = Uuid::parse(moveIt->get<std::string>());
        if (!move) return false;
    }
    if (!history) return false;
    lineHistory_ = *history;
    lastMoveId_ = move;
    return true;
}

void AppController::rebuildEngineKeepingState() {
    // The engine holds copies of the configuration, so a new threshold needs a new engine;
    // every store reads its state back from its store, and the outcome tracker is kept.
    if (!outcomeTracker_) return;
    log_ = std::make_shared<SignalLog>(signalStore_, config_.logRetentionDays, desktop_.now);
    budget_ = std::make_shared<NudgeBudget>(budgetStore_, desktop_.now);
    bridge_ = makeBridge();
    engine_ = makeEngine();
}

void AppController::quit() {
    if (desktop_.upkeep.disableKeepAlive) desktop_.upkeep.disableKeepAlive();
    endEventLoop();
}

void AppController::endEventLoop() {
    // Not quit(): it first asks every window to close, and a window of ours answers a close by
    // hiding, which would call the quit off. Queued, so that a request made while start-up
    // still runs is not lost to a loop that has not begun.
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

bool AppController::applicationWillTerminate(std::chrono::milliseconds grace) {
    dropWaitingSteps();
    if (desktop_.upkeep.disableKeepAlive) desktop_.upkeep.disableKeepAlive();
    delete popover_.data();
    inspectWindow_.dispose();
    promiseWindow_.dispose();
    demoWindow_.dispose();
    livingWindow_.dispose();
    settingsWindow_.dispose();
    if (menuBarHost_) desktop_.statusItem.hide();
    const bool ended = work_ ? work_->stopAll(grace) : true;
    // A mind or a reader may have left a child behind a worker that gave up.
    if (desktop_.upkeep.endChildProcesses) desktop_.upkeep.endChildProcesses();
    return ended;
}

bool AppController::homeRelativeExists(const std::string& relativePath) {
    return isTheUsers(relativePath);
}

}  // namespace quillfen
