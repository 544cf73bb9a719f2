#include "AppController.h"

#include <QGuiApplication>
#include <QScreen>

#include "UI/DevInspectView.h"
#include "UI/LivingWindowView.h"
#include "UI/MirrorPanel.h"
#include "UI/OnboardingScreen.h"
#include "UI/PopoverWindow.h"
#include "StartRequest.h"
#include "UI/StoneSurface.h"
#include "Support/SystemLog.h"
#include "UI/MenuBarGlyphHost.h"
#include "WindowChrome.h"

namespace quillfen {

namespace {

// Deletes its window, later, when the window hides.
class ReleaseOnHide final : public QObject {
public:
    explicit ReleaseOnHide(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && watched == parent()) watched->deleteLater();
        return false;
    }
};

constexpr std::string_view kMenuInspect = "inspect";

}  // namespace

void AppController::buildStatusItem() {
    menuBarHost_ = std::make_unique<MenuBarGlyphHost>(menuBarModel_, desktop_.statusItem, desktop_.appearance);
    QPointer<AppController> self(this);
    // The menu entry's desktop actions are its items too, so that a desktop without a tray
    // offers the same.
    std::vector<StatusMenuEntry> menu{{std::string(kMenuInspect), "What I\u2019m seeing"}};
    for (const auto& action : StartRequest::kActions)
        menu.push_back({std::string(action.name), std::string(action.label)});
    desktop_.statusItem.show(menuBarHost_->painter(), std::move(menu),
                             {[self] {
                                  if (self) self->togglePanel();
                              },
                              [self](const std::string& key) {
                                  if (self) self->performAction(key);
                              }});
    desktop_.statusItem.setToolTip("Quillfen");
    trayHostSubscription_ = desktop_.statusItem.subscribeToHost([self] {
        if (self) self->refreshSensingGaps();
    });
    if (!desktop_.statusItem.hostAvailable()) {
        noteOnce("no-tray", "tray",
                 "no tray host (StatusNotifier watcher or XEmbed tray) is running: the stone appears "
                 "when one starts");
    }
    menuBarModel_.setHasSomethingToSay(false);
}

void AppController::performAction(std::string_view name) {
    if (name == kMenuInspect) {
        openInspectWindow(false);
    } else if (name == StartRequest::kSettings) {
        openSettingsWindow();
    } else if (name == StartRequest::kQuit) {
        quit();
    } else {
        // The system log shows the name escaped, as it shows every message.
        SystemLog::notice("windows", "asked for an action it does not know: " + std::string(name));
    }
}

void AppController::togglePanel() {
    // A nudge no notification shows would be seen nowhere else: the stone opens the panel with
    // it, as the notification would. Unlike a tap on the notification, whose words the user has
    // read, the click takes no step: the panel's buttons answer the nudge.
    if (nudgeWaitsUnseen()) {
        showPopover();
        return;
    }
    openInspectWindow(false);
}

bool AppController::nudgeWaitsUnseen() const {
    return shownNudge_.has_value() && panelModel_.askOpen() && !(notifications_ && notifications_->showsNewest());
}

WindowSlotAction AppController::openInspectWindow(bool dev) {
    const auto action =
        inspectWindow_.present([this, dev] { return makeWindow(makeRhythmContent(dev), WindowChrome::rhythm(dev)); });
    // Only a window built just now starts the refreshes; a window shown again is as it was.
    if (action == WindowSlotAction::create && inspectWindow_.window() != nullptr) {
        runTick();
        refreshCrossSignals();
        refreshSky();
        if (claudeBody_.available) publishBody();
        refreshBody();
    }
    return action;
}

void AppController::answerAPersonsStart() {
    if (run_.developer || desktop_.statusItem.hostAvailable() || promiseWindow_.slot().isVisible()) return;
    openInspectWindow(false);
}

void AppController::openSettingsWindow() {
    refreshSettingsModel();
    settingsWindow_.present([this] { return makeWindow(makeSettingsContent(), WindowChrome::settings()); });
}

void AppController::openOnboarding(OnboardingBeat beat, OnboardingModel::Entry entry) {
    if (OnboardingModel::reusable(onboardingModel_.data(), entry) && promiseWindow_.window() != nullptr) {
        onboardingModel_->setBeat(beat);
        promiseWindow_.present({});
        return;
    }
    // A model made for the other entry would walk the wrong steps: a fresh one replaces it.
    // The screen keeps the model; the controller only looks at it while it lives.
    promiseWindow_.dispose();
    auto model = std::make_unique<OnboardingModel>(beat, entry, desktop_.now);
    onboardingModel_ = model.get();
    model->setIdentity(menuBarModel_.identity());
    model->setInTray(desktop_.statusItem.hostAvailable());
    wireOnboarding(*model);
    promiseWindow_.present([this, &model] { return makeWindow(makeOnboardingContent(std::move(model)),
                                                              WindowChrome::onboarding()); });
}

void AppController::closeOnboarding() {
    promiseWindow_.hide();
}

void AppController::refreshStoneSurfaces() {
    std::optional<StoneIdentity> kept = stoneIdentityStore_ ? stoneIdentityStore_->current() : std::nullopt;
    if (!kept) StoneSurface::noteWearingFallbackByDefault("menu bar, desktop pane, panel, mirror and onboarding", desktop_.now);
    const StoneIdentity identity = kept.value_or(StoneIdentity::fallback());
    menuBarModel_.setIdentity(identity);
    livingWindowModel_.setIdentity(identity);
    publishStoneIdentity(identity);
}

void AppController::repositionLivingWindow() {
    if (desktop_.defaults.boolean("desktopPaneHidden").value_or(false)) {
        livingWindow_.hide();
        return;
    }
    const auto geometry = LivingWindow::geometry(livingWindowModel_.score(), livingWindowModel_.aggravated());
    QPointer<AppController> self(this);
    livingWindow_.present(
        [this, self, geometry] {
            auto* view = new LivingWindowView(livingWindowModel_, [self] {
                if (self) self->openInspectWindow(false);
            });
            view->setReduceMotion(desktop_.appearance.reduceMotion());
            // The pane's expression follows the mirror of the week for as long as it lives.
            auto follow = [this, view] { view->setMirror(PaneMirror{mirrorModel_.face(), mirrorModel_.claudeLoopLive()}); };
            follow();
            QObject::connect(&mirrorModel_, &MirrorModel::changed, view, follow);
            return makeWindow(view, WindowChrome::pane(QSize(int(geometry.width), int(geometry.height))));
        },
        {}, ManagedWindow::Focus::leaveFocus);
    QWidget* pane = livingWindow_.window();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (pane == nullptr || screen == nullptr) return;
    // Placed without raising or activating: the user is working elsewhere.
    pane->setGeometry(livingPaneFrame(geometry, screen->availableGeometry()).toAlignedRect());
}

void AppController::followReduceMotion() {
    const bool reduce = desktop_.appearance.reduceMotion();
    if (QWidget* rhythm = inspectWindow_.window()) {
        if (auto* mirror = rhythm->findChild<MirrorPanel*>()) mirror->setReduceMotion(reduce);
        if (auto* dev = rhythm->findChild<DevInspectView*>()) dev->setReduceMotion(reduce);
    }
    if (QWidget* pane = livingWindow_.window())
        if (auto* view = pane->findChild<LivingWindowView*>()) view->setReduceMotion(reduce);
    if (QWidget* promise = promiseWindow_.window())
        if (auto* screen = promise->findChild<OnboardingScreen*>()) screen->setReduceMotion(reduce);
    if (auto* popover = qobject_cast<PopoverWindow*>(popover_.data())) popover->setReduceMotion(reduce);
}

void AppController::showPopover() {
    if (popover_ && popover_->isVisible()) return;
    if (!popover_) {
        auto* popover = new PopoverWindow(panelModel_, panelMirror());
        popover->setReduceMotion(desktop_.appearance.reduceMotion());
        // Released once it closes: the panel's state lives in its model.
        new ReleaseOnHide(popover);
        popover_ = popover;
    }
    std::optional<QRect> tray;
    if (auto placed = desktop_.statusItem.geometry()) tray = QRect(placed->x, placed->y, placed->width, placed->height);
    static_cast<PopoverWindow*>(popover_.data())->showAt(tray);
}

void AppController::handleNotificationPrimaryTap() {
    ++primaryTaps_;
    // A tap on the notification opens the panel; already open, it stays as it is.
    showPopover();
    performPanelPrimary();
}

}  // namespace quillfen
