#include <cstdio>

#include <QThread>

#include "AppController.h"
#include "Reflection/Reflection.h"
#include "RenderHooks.h"
#include "Signals/RhythmStrip.h"
#include "Support/Text.h"
#include "UI/DeveloperSheets.h"
#include "UI/InspectView.h"
#include "UI/OnboardingScreen.h"
#include "UI/PanelView.h"
#include "UI/Render.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"
#include "WindowChrome.h"

// The developer's entries into start-up: the window self-test, the pictures of the surfaces
// (each drawn into a PNG file, after which the process ends) and the demo nudge.

namespace quillfen {

namespace {

constexpr double kSelfTestReportDelaySeconds = 0.3;
constexpr qreal kScale = 2;
constexpr qreal kGlyphScale = 3;
constexpr int kInspectWidth = 500;
constexpr QSizeF kPaneCell(230, 150);

void tellDeveloper(const std::string& line) {
    std::fprintf(stderr, "quillfen: %s\n", line.c_str());
}

std::vector<AgentSummary::DayMark> sampleWeek() {
    struct Day {
        bool wentLong;
        bool fragmented;
    };
    // Today first, then one day further back each.
    static constexpr Day kDays[] = {{true, true},  {false, false}, {true, false}, {false, true},
                                    {false, false}, {true, false}, {false, false}};
    std::vector<AgentSummary::DayMark> week;
    for (int daysAgo = 0; daysAgo < 7; ++daysAgo) {
        week.push_back({daysAgo, daysAgo == 0, true, kDays[daysAgo].wentLong, kDays[daysAgo].fragmented});
    }
    return week;
}

GlyphState glyphOf(const MenuBarModel& model) {
    GlyphState state;
    state.identity = model.identity();
    state.face = model.face();
    state.stale = model.stale();
    state.openOpacity = model.hasSomethingToSay() ? 1 : 0;
    state.staleOpacity = model.stale() ? 1 : 0;
    return state;
}

}  // namespace

void AppController::runDeveloperHooks() {
    if (run_.windowCycle) runWindowLifecycleSelfTest();
    const auto request = RenderHooks::requested(desktop_.environment);
    if (request && request->hook != RenderHooks::Hook::demoPanel) {
        renderAndEnd(*request);
        return;
    }
    if (run_.demoNudge) {
        showDemoNudge();
        if (request) {
            panelModel_.setStaticRender(true);
            renderAndEnd(*request);
            return;
        }
        showDemoWindow();
    }
}

void AppController::endDeveloperRun() {
    if (developerRunEnded_) return;
    developerRunEnded_ = true;
    // Nothing the run still had waiting runs after it: main ends the process, a test goes on.
    dropWaitingSteps();
    if (desktop_.endDeveloperRun) desktop_.endDeveloperRun();
}

void AppController::runWindowLifecycleSelfTest() {
    openInspectWindow(false);
    inspectWindow_.hide();
    openInspectWindow(false);
    inspectWindow_.hide();
    openInspectWindow(true);
    for (int round = 0; round < 2; ++round) {
        openOnboarding(OnboardingBeat::promise, OnboardingModel::Entry::firstRun);
        closeOnboarding();
    }
    inspectWindow_.dispose();
    promiseWindow_.dispose();
    later(kSelfTestReportDelaySeconds, [this] {
        std::fputs("QA_WINDOW_CYCLE_OK\n", stdout);
        endDeveloperRun();
    });
}

void AppController::renderAndEnd(const RenderHooks::Request& request) {
    // Widgets draw on the thread that made them, and only there.
    Q_ASSERT(QThread::currentThread() == thread());
    const QImage image = renderHook(request.hook);
    if (image.isNull()) {
        tellDeveloper(std::string("nothing was drawn for ") + RenderHooks::variable(request.hook));
    } else if (!writePng(image, QString::fromStdString(request.path))) {
        tellDeveloper(std::string("could not write the picture of ") + RenderHooks::variable(request.hook) + " to \"" +
                      request.path + "\"");
    }
    endDeveloperRun();
}

QImage AppController::renderHook(RenderHooks::Hook hook) {
    using Hook = RenderHooks::Hook;
    switch (hook) {
        case Hook::calm:
            panelModel_.setNudge(std::nullopt);
            return renderPanel();
        case Hook::demoPanel:
            return renderPanel();
        case Hook::seeing:
            return renderSeeing();
        case Hook::promise:
            return renderPromise();
        case Hook::glyphs: {
            std::unique_ptr<QWidget> sheet(DeveloperSheets::glyphs(menuBarModel_.identity()));
            layOutOffscreen(*sheet);
            return renderWidget(*sheet, kGlyphScale);
        }
        case Hook::living:
            return renderLiving();
        case Hook::surfaces:
            return renderSurfaces();
    }
    return {};
}

bool AppController::renderPanelPNG(const std::string& path) {
    const QImage image = renderPanel();
    return !image.isNull() && writePng(image, QString::fromStdString(path));
}

QImage AppController::renderPanel() {
    PanelView panel(panelModel_, panelMirror(), WindowPresence{300, 250, 1.0});
    panel.resize(panel.sizeHint());
    layOutOffscreen(panel);
    panel.resize(panel.sizeHint());
    return renderWidget(panel, kScale);
}

QImage AppController::renderSeeing() {
    {
        ObservableModel::Batch batch(inspectModel_);
        inspectModel_.setAtScreenFact("since 9:20, longest stretch 2h");
        inspectModel_.setThisWeekFact("two heavy afternoons, one scattered");
        inspectModel_.setRightNowFact("focused, plugged in");
        inspectModel_.setOutsideFact("clear, good light for ~40 min");
        inspectModel_.setTimesSpokenFact("once this week");
        inspectModel_.setWeek(sampleWeek());
        inspectModel_.setRhythmScore(0.7);
    }
    InspectList list(inspectModel_, desktop_.now);
    ViewBuilding::fill(&list, Theme::paper());
    layOutAtWidth(list, kInspectWidth);
    return renderWidget(list, kScale, Theme::paper());
}

QImage AppController::renderPromise() {
    const RenderHooks::PromiseChoice choice = RenderHooks::promiseChoice(desktop_.environment);
    for (const auto& problem : choice.problems) tellDeveloper(problem);
    auto model = std::make_unique<OnboardingModel>(choice.beat, choice.entry, desktop_.now);
    model->setDayChoiceIndex(std::nullopt);
    model->setPickedMoveIds({"corner", "hear"});
    model->setSources(
        WorkSourceRegistry::sources([](std::string_view path) { return homeRelativeExists(std::string(path)); }));
    const AIToolSignal today = desktop_.core.readAITools(desktop_.now());
    model->setReading(WorkReading::today(today.activeSpanMinToday, today.longestRunMinToday, today.projectsToday));
    OnboardingScreen screen(std::move(model));
    screen.setFixedSize(OnboardingScreen::kWidth, OnboardingScreen::kHeight);
    layOutOffscreen(screen);
    return renderWidget(screen, kScale);
}

QImage AppController::renderLiving() {
    using Cell = DeveloperSheets::PaneCell;
    const std::vector<std::vector<Cell>> rows = {
        {{"floor", 0.08, false, {}, std::nullopt}, {"building", 0.42, false, {}, std::nullopt}},
        {{"heavy stretch", 0.72, false, {}, std::nullopt},
         {"ceiling", 0.95, false, QStringLiteral("that\u2019s the heaviest week in a while."), std::nullopt}},
        {{"aggravated (the one notch)", 0.85, true,
          QStringLiteral("three heavy afternoons, and I did say something."), std::nullopt}},
    };
    std::unique_ptr<QWidget> sheet(DeveloperSheets::livingPanes(rows, livingWindowModel_.identity(), kPaneCell));
    layOutOffscreen(*sheet);
    return renderWidget(*sheet, kScale);
}

void AppController::fillSurfacesFromThisComputer() {
    const TimePoint now = desktop_.now();
    const std::vector<SignalSample> samples = log_ ? log_->all() : std::vector<SignalSample>{};
    claudeBody_ = desktop_.core.readClaudeBody(now, 7);
    const AgentSummary summary = claudeBody_.toSummary(now, 0, std::nullopt);

    const RhythmStrip strip = RhythmStrip::today(samples, now);
    const PromptCadence cadence = PromptCadence::read(PromptCadence::canonicalURL());
    const FaceThresholds& thresholds = config_.faceThresholds;
    const bool loopLive = thresholds.loopLive(cadence.count(thresholds.loopFastWindowSeconds, now),
                                              cadence.count(thresholds.loopSlowWindowSeconds, now));
    {
        ObservableModel::Batch batch(mirrorModel_);
        mirrorModel_.setToday(strip);
        mirrorModel_.setWeek(claudeBody_.weekMarks());
        mirrorModel_.setLongestRunMin(static_cast<int>(strip.longestRunMinutes()));
        if (samples.empty()) {
            mirrorModel_.publishFace(FaceEvidence::neverSensed(), now, 0, loopLive);
        } else {
            const SignalSample& newest = samples.back();
            mirrorModel_.publishFace(FaceEvidence::of(newest, loopLive), now,
                                     static_cast<int>(std::clamp<std::int64_t>(newest.appSwitchesLastHour, 0, 1 << 30)),
                                     loopLive);
        }
        mirrorModel_.setPullsLast10m(cadence.count(600, now));
        mirrorModel_.setPullsToday(cadence.countToday(now));
        if (deadmanFiles_) mirrorModel_.setDeadman(deadmanFiles_->current(now));
        mirrorModel_.setReflectionLine(Reflection::todayLine(summary));
    }
    {
        ObservableModel::Batch batch(inspectModel_);
        inspectModel_.setWeek(claudeBody_.weekMarks());
        inspectModel_.setRhythmScore(RhythmScore::of(summary));
    }
    publishSeeingFacts(summary, now);
    panelModel_.setObserveOnly(true);
    publishObserveCopy(now, cadence.count(1800, now), loopLive, summary);
}

QImage AppController::renderSurfaces() {
    fillSurfacesFromThisComputer();
    using Cell = DeveloperSheets::PaneCell;
    const QString line = QString::fromStdString(mirrorModel_.reflectionLine());
    const StoneIdentity identity = livingWindowModel_.identity();
    const double score = inspectModel_.rhythmScore();
    DeveloperSheets::Surfaces parts{
        mirrorModel_,
        inspectModel_,
        desktop_.now,
        identity,
        {Cell{QStringLiteral("desktop, gathered"), score, false, line,
              PaneMirror{mirrorModel_.face(), mirrorModel_.claudeLoopLive()}},
         Cell{QStringLiteral("desktop, floor"), 0.08, false, {}, std::nullopt},
         Cell{QStringLiteral("desktop, aggravated"), 0.85, true, line, std::nullopt}},
        glyphOf(menuBarModel_),
    };
    std::unique_ptr<QWidget> sheet(DeveloperSheets::surfaces(parts));
    layOutOffscreen(*sheet);
    return renderWidget(*sheet, kScale);
}

void AppController::showDemoNudge() {
    NudgeCopy copy;
    const auto line = desktop_.environment.find("TAVRYN_DEMO_LINE");
    const std::string own = line == desktop_.environment.end() ? std::string() : Text::trimmed(line->second);
    if (!own.empty()) {
        copy.notificationTitle = own;
        copy.panelLineOne = own;
    } else {
        copy.notificationTitle = "Three hours at the screen, no real break.";
        copy.panelLineOne = copy.notificationTitle;
        copy.notificationBody = "It\u2019s clear out, around 14\u00b0. Step outside for five.";
        copy.panelLineTwo = "It\u2019s clear out, around 14\u00b0.";
        copy.panelMeta = "Three hours in, no real break. Five minutes outside resets it.";
        copy.moveLabel = MoveLabel::stepOutside;
    }
    copy.primaryButton = "Step outside";
    copy.dismissButton = "Not now";
    panelModel_.setNudge(copy);
    panelModel_.setTodayStateLine("A good moment is live right now.");
    panelModel_.setAskPhase(AskPhase::expanding);
    menuBarModel_.setHasSomethingToSay(true);
}

void AppController::showDemoWindow() {
    demoWindow_.present([this] {
        auto* panel = new PanelView(panelModel_, panelMirror(), WindowPresence{300, 250, 1.0});
        panel->setReduceMotion(desktop_.appearance.reduceMotion());
        return makeWindow(panel, WindowChrome{WindowChrome::Kind::window, QStringLiteral("Tavryn quillfen"),
                                              QSize(312, 372), QSize()});
    });
}

}  // namespace quillfen
