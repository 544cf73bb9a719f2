#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BackgroundWork.h"
#include "CalendarBreakScheduler.h"
#include "Contract/AgentContext.h"
#include "Config/AppConfig.h"
#include "Decision/BreakpointSensor.h"
#include "Decision/Decider.h"
#include "Decision/NudgeBudget.h"
#include "Desktop.h"
#include "HandoffEntry.h"
#include "Feedback/FaceFeedbackLog.h"
#include "Feedback/NudgeOutcomeTracker.h"
#include "LocationProvider.h"
#include "Log/HeartbeatLiveness.h"
#include "Log/LogStore.h"
#include "Log/SignalLog.h"
#include "ManagedWindow.h"
#include "Mind/LineHistory.h"
#include "Mind/MindBridge.h"
#include "Mind/MindConnection.h"
#include "NotificationManager.h"
#include "NudgeEngine.h"
#include "Onboarding/InterruptBoundary.h"
#include "Promise/PromiseStore.h"
#include "RenderHooks.h"
#include "Reflection/RhythmScore.h"
#include "SignalReader.h"
#include "Signals/AIToolReader.h"
#include "Signals/BreatherJournal.h"
#include "Signals/CalendarReader.h"
#include "Signals/ClaudeBody.h"
#include "Signals/CodexActivityReader.h"
#include "Signals/DeadmanSignal.h"
#include "Signals/DeviceSignals.h"
#include "Signals/PromptCadence.h"
#include "Sky/SkyVerdict.h"
#include "Support/Uuid.h"
#include "UI/AggravationGate.h"
#include "UI/InspectFacts.h"
#include "Stone/StoneIdentityStore.h"
#include "UI/InspectModel.h"
#include "UI/LivingWindowModel.h"
#include "UI/MirrorModel.h"
#include "UI/MenuBarModel.h"
#include "UI/OnboardingModel.h"
#include "UI/PanelModel.h"
#include "UI/PanelView.h"
#include "UI/SettingsModel.h"

namespace quillfen {

class MenuBarGlyphHost;

// The application's owner of everything that outlives one call: the core's stores and
// engine, the readers, the view models, the windows, the tray item and the timers. It lives
// on the UI thread; work that waits on files, child processes or the network runs on
// `work_` and comes back here in the order it finishes.
//
// Its member functions are defined by concern: AppController.cpp (start-up, the core, the
// end), AppControllerTick.cpp (the tick and its result), AppControllerRefresh.cpp (timers and
// the slower readings), AppControllerWindows.cpp (windows and the tray), AppControllerPanel.cpp
// (the panel's actions), AppControllerBody.cpp (the body's publication: the inspect facts, the
// reasons, the desktop pane, the mirror), AppControllerFacts.cpp (the face and the words
// every surface shows) and AppControllerHooks.cpp (the developer's runs). Further concerns add
// files of their own.
class AppController : public QObject {
    Q_OBJECT
public:
    // What the run is, read once from the environment.
    struct RunKind {
        // A developer or demo run (a render hook, the window self-test, the demo nudge), as
        // SingleInstance::isOneShotRun tells it: nothing that outlasts the process is set up.
        bool developer = false;
        bool inspect = false;
        bool inspectDev = false;
        bool forceOnboard = false;
        bool windowCycle = false;
        bool demoNudge = false;
        static RunKind of(const Environment& environment);
    };

    // What the liveness pass tells the inspect window.
    struct LivenessFacts {
        bool heartbeatStale = true;
        std::string lastTickAgoLabel;
        std::string loginItemState;
        bool hasPromise = false;
        std::string promiseSentence;
        bool operator==(const LivenessFacts&) const = default;
    };
    // What the tick's sample and the devices tell the inspect window.
    struct DeviceFacts {
        std::int64_t appSwitchesLastHour = 0;
        std::int64_t idleSeconds = 0;
        double localHour = 0;
        bool micInUse = false;
        bool audioPlaying = false;
        bool onBattery = false;
        std::optional<std::int64_t> batteryPercent;
        bool inFlow = false;
        std::string restraintNote;
        bool operator==(const DeviceFacts&) const = default;
    };

    explicit AppController(Desktop desktop, QObject* parent = nullptr);
    ~AppController() override;
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // The whole start-up, once.
    void applicationDidFinishLaunching();
    // The termination steps: timers stop, the keep-alive agent is disabled, windows are
    // disposed, running work is asked to stop and given `grace`, children still running are
    // ended. Says whether every worker ended in time.
    bool applicationWillTerminate(std::chrono::milliseconds grace);
    // The user's quit: the keep-alive agent is disabled first, so it does not restart us.
    void quit();
    // Ends the event loop (a quit, SIGTERM); the termination steps follow it.
    static void endEventLoop();

    // The tick.
    void runTick();
    void handle(const TickResult& result);
    void publishLiveness();
    void publishInspect(const SignalSample& sample, const TickResult& result);
    struct PreviewDecision {
        bool firing = false;
        std::string reason;
        bool operator==(const PreviewDecision&) const = default;
    };
    PreviewDecision previewDecision(const AgentSummary& summary, const Restraint& restraint, TimePoint now);

    // Timers and the slower readings.
    void scheduleTicks();
    void scheduleBodyRefresh();
    void refreshTodayLine(const TickResult& result);
    void refreshSky();
    void refreshMindConnection();
    void connectClaude();
    void refreshCodexStatus();
    void refreshCrossSignals();
    void refreshBody();
    void applyCalendar(const CalendarSignal& signal);
    std::optional<RhythmScore::CalendarDensity> currentCalendarDensity() const;

    // The core.
    void buildCore();
    // The user's claude tool as a mind whose child may take `processTimeout` seconds; none when
    // the cloud mind is off, or the tool or its persona is missing.
    std::shared_ptr<const AgentMind> makeMind(double processTimeout) const;
    std::optional<MindBridge> makeBridge() const;
    // An engine over the current configuration, stores and bridge.
    EngineTick makeEngine() const;
    void restoreAskHistory();
    // Whether the bytes read as the ask history; only then is it taken.
    bool restoreAskHistory(const std::string& bytes);
    void rebuildEngineKeepingState();
    // The inspect window's two actions.
    void wireInspector();
    // The user's boundary: the decider's thresholds, the stored choice and a new engine.
    void applyBoundary(InterruptBoundary boundary);

    // Windows and the tray.
    void buildStatusItem();
    // The stone's click: the panel while a nudge waits that no notification shows, else the
    // rhythm window.
    void togglePanel();
    // An item of the tray's menu, or the desktop's action of the same name: "inspect" (the rhythm
    // window), "settings" or "quit"; a name it does not know is logged.
    void performAction(std::string_view name);
    WindowSlotAction openInspectWindow(bool dev);
    // A start a person chose that asks for nothing: where no tray shows the stone, the rhythm
    // window, unless the first start's window already shows; with a tray, nothing, as it lives
    // there.
    void answerAPersonsStart();
    void openSettingsWindow();
    // Shows, places or hides the desktop pane after its model changed.
    void repositionLivingWindow();
    // Every surface wears the kept stone, or the fallback one while none is kept.
    void refreshStoneSurfaces();
    // The open windows follow the desktop's wish for less motion as it changes, not only as it
    // was when they opened.
    void followReduceMotion();
    // Shows the onboarding at a step; a model opened for another entry is replaced.
    void openOnboarding(OnboardingBeat beat, OnboardingModel::Entry entry);
    void closeOnboarding();
    void handleNotificationPrimaryTap();

    // The panel's actions.
    void wirePanelActions();
    // Lets the ask on the panel sink away, or closes it at once when none is showing.
    void letAskSettle();
    // Clears the closed ask and records the user's answer to the fire behind it.
    void dismissNudge();
    void applyFrequency(NudgeFrequency frequency);
    // "Show me a nudge": how one looks, without posting or counting anything.
    void previewNudge();

    // The body's publication and the facts of every surface.
    void publishBody();
    void publishFace(const std::optional<SignalSample>& sample, const std::optional<PromptCadence>& cadence,
                     TimePoint now);
    void publishSeeingFacts(const AgentSummary& summary, TimePoint now);
    void publishObserveCopy(TimePoint now, int pullsLastHalfHour, bool loopLive, const AgentSummary& summary);
    std::vector<std::string> buildWhy(const AgentSummary& summary, const ClaudeDay& today, const DeviceSignals& dev,
                                      bool firing) const;
    void updateLivingWindow(double score, const AgentSummary& summary);
    void publishMirror(TimePoint now, const AgentSummary& summary);
    // Counts the breather's new fires into the outcome tracker, like the system's own.
    void bridgeBreatherFires();
    static std::optional<BreatherJournal::FiresToday> breatherFiresToday(TimePoint now);
    static int breatherFiresThisWeek(TimePoint now);
    std::optional<std::string> browserFactLine(TimePoint now) const;

    // Pure helpers of the facts.
    static std::optional<std::string> outsidePhrase(const SkyVerdict& verdict);
    static std::optional<std::string> skyLine(const SkyTail& tail);
    // The panel's line of the day for a result; `reflection` is the line a fire or an
    // unearned silence takes.
    static std::string todayLineFor(const TickResult& result, const std::string& reflection);
    // What the inspect window says of a fire that is not shown; nothing for a fire that is.
    static std::optional<std::string> heldFireReason(bool observeOnly, std::int64_t firedToday,
                                                     const LocalBackstop& backstop);
    static bool isFocusedStretch(const CoarseState& state);
    // The tool's "auth status" output; nothing when it cannot start or outlives the deadline.
    static constexpr double kAuthStatusDeadlineSeconds = 6.0;
    static std::optional<std::string> runClaudeAuthStatus(const ProcessRunner& runner, const std::string& exe,
                                                          std::stop_token stop,
                                                          double deadlineSeconds = kAuthStatusDeadlineSeconds);
    static bool homeRelativeExists(const std::string& relativePath);

    // Calendar holds (AppControllerCalendar.cpp): one evaluation at a time, off this thread.
    void evaluateCalendarBreak(int loopsToday);

    // The ask and its memory, the explicit ask of the mind (AppControllerAsk.cpp).
    NudgeCopy composeAsk(const NudgeCopy& fallback);
    void persistAskHistory();
    void askIlvane();
    AgentContext buildContext();

    // The mind's reflection of the week (AppControllerMind.cpp).
    void refreshGeneratedReflection(const AgentSummary& summary);
    static std::string reflectionKey(const AgentSummary& summary);
    const std::optional<std::string>& generatedReflection() const { return generatedReflection_; }

    // The settings window and the onboarding (AppControllerSettings.cpp).
    void refreshSettingsModel();
    void installClaudeFace();
    void refreshOnboardingReading();
    // Where the phone's health bridge keeps its file; only its age is read.
    static std::filesystem::path healthBridgeFile();

    // The web handoff, each address in turn (AppControllerHandoff.cpp).
    void openUrls(const std::vector<std::string>& urls);

    // The developer hooks (AppControllerHooks.cpp): the window self-test, the pictures of the
    // surfaces and the demo nudge, in the order the environment asks for them.
    void runDeveloperHooks();
    void runWindowLifecycleSelfTest();
    void showDemoNudge();
    void showDemoWindow();
    // The popover panel as it stands, drawn into a PNG file; says whether it was written.
    bool renderPanelPNG(const std::string& path);

    // For the tests and later wiring: read-only views of the state.
    const AppConfig& config() const { return config_; }
    const RunKind& runKind() const { return run_; }
    MenuBarModel& menuBarModel() { return menuBarModel_; }
    PanelModel& panelModel() { return panelModel_; }
    InspectModel& inspectModel() { return inspectModel_; }
    MirrorModel& mirrorModel() { return mirrorModel_; }
    SettingsModel& settingsModel() { return settingsModel_; }
    QWidget* popover() const { return popover_.data(); }
    LivingWindowModel& livingWindowModel() { return livingWindowModel_; }
    const ManagedWindow& livingWindow() const { return livingWindow_; }
    const std::optional<NudgeCopy>& shownNudge() const { return shownNudge_; }
    double tickInterval() const { return tickInterval_; }
    const LineHistory& lineHistory() const { return lineHistory_; }
    const std::optional<Uuid>& lastMoveId() const { return lastMoveId_; }
    bool hasEngine() const { return static_cast<bool>(engine_); }
    bool hasBridge() const { return bridge_.has_value(); }
    const LocationProvider* locationProvider() const { return locationProvider_.get(); }
    const OnboardingModel* onboardingModel() const { return onboardingModel_.data(); }
    BackgroundWork& work() { return *work_; }
    std::uint64_t ticksHandled() const { return ticksHandled_; }
    std::uint64_t primaryTaps() const { return primaryTaps_; }
    const LivenessFacts& livenessFacts() const { return livenessFacts_; }
    const DeviceFacts& deviceFacts() const { return deviceFacts_; }
    BreakpointKind lastBreakpoint() const { return lastBreakpoint_; }
    const std::optional<std::string>& lastFaceTier() const { return lastFaceTier_; }
    const AggravationGate& aggravationGate() const { return aggravationGate_; }
    // The body as a finished read hands it over, without reading the logs.
    void setClaudeBody(ClaudeBody body) { claudeBody_ = std::move(body); }

private:
    // The writes into the view models, one per kind of fact (AppControllerPublish.cpp).
    void publishLivenessFacts(const LivenessFacts& facts);
    void publishDeviceFacts(const DeviceFacts& facts);
    void publishBreakpoint(BreakpointKind kind);
    // What the desktop cannot tell or show, read afresh: at each tick, and as soon as the desktop
    // says it changed (a tray host came or went, the GNOME Shell extension turned on or off).
    void refreshSensingGaps();
    void publishDecisionReason(const std::string& reason);
    void publishTodayLine(const std::string& line);
    void publishOutsideFact(const std::optional<std::string>& fact);
    void publishMindConnection(MindConnection connection);
    void publishBoundary(InterruptBoundary boundary);
    void publishStoneIdentity(const StoneIdentity& identity);
    void publishAITool(const AIToolSignal& signal);
    // The ask on the panel, its reveal seeded afresh from the time it is shown: a fire by the bits
    // of that time in seconds as a double, a preview by its whole seconds.
    static std::uint64_t fireVariant(TimePoint firedAt);
    static std::uint64_t previewVariant(TimePoint shownAt);
    void showNudge(const NudgeCopy& copy, std::uint64_t variant);
    void showPopover();
    void closePopover();
    // A nudge is on the panel, unanswered, and no notification shows it.
    bool nudgeWaitsUnseen() const;
    // The primary action, by what the panel says the ask on it wants.
    void performPrimaryStep();
    void performPanelPrimary();
    // What the panel reads of the mirror of the week; none while there is no mirror.
    std::optional<PanelMirror> panelMirror();
    // The views inside the windows; nullptr while a view is not there.
    QWidget* makeRhythmContent(bool dev);
    QWidget* makeSettingsContent();
    QWidget* makeOnboardingContent(std::unique_ptr<OnboardingModel> model);
    void wireOnboarding(OnboardingModel& model);
    void requestWeather(std::function<void(bool)> answer);

    // A developer's picture: drawn, written to its file, and then the run ends.
    void renderAndEnd(const RenderHooks::Request& request);
    // Asks main to end a developer run; nothing of the run goes on after it.
    void endDeveloperRun();
    QImage renderHook(RenderHooks::Hook hook);
    QImage renderPanel();
    QImage renderSeeing();
    QImage renderPromise();
    QImage renderLiving();
    QImage renderSurfaces();
    // The mirror, the inspect facts and the observe-only copy from this computer's own records,
    // read here and now rather than by the timers.
    void fillSurfacesFromThisComputer();

    void applyStoredBoundary();
    // Runs `step` once, `seconds` from now on the scheduler's clock; dropped with the controller.
    void later(double seconds, std::function<void()> step);
    // The ticks, the body's refresh and every step still waiting.
    void dropWaitingSteps();
    void onSessionWake();
    void noteOnce(const char* key, std::string_view category, std::string_view message);
    // Whether there is a location service to ask for the place; a missing one is noted once,
    // as a missing tray host is.
    bool hasLocationService();

    Desktop desktop_;
    RunKind run_;
    AppConfig config_;
    QPointer<BackgroundWork> work_;

    // The core, built once by buildCore (the log, budget, bridge and engine rebuilt on a
    // change of the boundary).
    EngineTick engine_;
    std::unique_ptr<SignalReader> reader_;
    std::unique_ptr<LocationProvider> locationProvider_;
    std::unique_ptr<NotificationManager> notifications_;
    std::shared_ptr<SignalLog> log_;
    std::shared_ptr<NudgeBudget> budget_;
    // Kept for the rebuilt log and budget: in memory, they are all there is.
    std::shared_ptr<LogStore> signalStore_;
    std::shared_ptr<LogStore> budgetStore_;
    std::shared_ptr<FaceFeedbackLog> feedbackLog_;
    std::shared_ptr<NudgeOutcomeTracker> outcomeTracker_;
    // Outlives the engines, as the stretch it is read against outlives them.
    std::shared_ptr<LastFire> lastFire_ = std::make_shared<LastFire>();
    std::optional<MindBridge> bridge_;
    std::shared_ptr<PromiseStore> promiseStore_;
    std::shared_ptr<StoneIdentityStore> stoneIdentityStore_;
    std::shared_ptr<HeartbeatLiveness> liveness_;
    LineHistory lineHistory_;
    std::optional<Uuid> lastMoveId_;
    std::shared_ptr<LogStore> askHistoryStore_;
    std::shared_ptr<CalendarBreakScheduler> calendarBreak_;
    std::unique_ptr<HandoffEntry> handoffEntry_;
    LocalBackstop backstop_;
    std::optional<DeadmanFiles> deadmanFiles_;

    // The open onboarding, if any.
    QPointer<OnboardingModel> onboardingModel_;

    // The views' state.
    InspectModel inspectModel_;
    MirrorModel mirrorModel_;
    PanelModel panelModel_;
    SettingsModel settingsModel_;
    LivingWindowModel livingWindowModel_{StoneIdentity::fallback()};
    // The popover, while it is open.
    QPointer<QWidget> popover_;

    // The tray.
    MenuBarModel menuBarModel_;
    std::unique_ptr<MenuBarGlyphHost> menuBarHost_;

    // The windows.
    ManagedWindow inspectWindow_{"rhythm"};
    ManagedWindow settingsWindow_{"settings"};
    ManagedWindow promiseWindow_{"onboarding"};
    ManagedWindow demoWindow_{"demo"};
    ManagedWindow livingWindow_{"desktop pane"};

    // The state of the moment.
    AggravationGate aggravationGate_;
    bool askWasStepped_ = false;
    // The ask on the panel is a preview: no fire stands behind it.
    bool askIsPreview_ = false;
    InspectFacts::DecisionHistory decisionHistory_;
    std::optional<std::string> lastFaceTier_;
    // The newest sample a face was judged from.
    std::optional<SignalSample> faceSample_;
    BreakpointKind lastBreakpoint_ = BreakpointKind::none;
    ClaudeBody claudeBody_;
    CodexActivitySnapshot codexSnapshot_;
    std::optional<std::string> generatedReflection_;
    std::optional<std::string> reflectionKey_;
    std::optional<NudgeCopy> shownNudge_;
    LivenessFacts livenessFacts_;
    DeviceFacts deviceFacts_;
    // Each explicit ask takes the next number; only the newest ask's answer is shown.
    std::uint64_t askSequence_ = 0;
    // Why the last install left the Claude Code settings alone; empty when it did not.
    std::string claudeFaceNote_;
    double tickInterval_ = 60.0;
    std::uint64_t ticksHandled_ = 0;
    std::uint64_t primaryTaps_ = 0;

    // Guard flags: a request while one is set is dropped, not queued.
    bool bodyReading_ = false;
    bool codexStatusReading_ = false;
    bool calendarBreakRunning_ = false;
    bool reflectionInFlight_ = false;
    bool developerRunEnded_ = false;

    AnimationDriver::Handle tickTimer_;
    AnimationDriver::Handle bodyTimer_;
    // The steps waiting to run once.
    std::vector<AnimationDriver::Handle> deferred_;
    Subscription sessionSubscription_;
    Subscription trayHostSubscription_;
    Subscription appearanceSubscription_;
    Subscription switchesGapSubscription_;
    std::vector<std::string> noted_;
};

}  // namespace quillfen
