#include <sys/stat.h>

#include <QApplication>

#include "AppController.h"
#include "ClaudeFaceInstaller.h"
#include "ClaudeFaceScripts.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "RunningCopy.h"
#include "SelfUpdater.h"
#include "Signals/AIToolReader.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"

// The settings window's facts and switches, and the onboarding's requests: each is a closure
// that holds the controller weakly, since a window may outlive it on its way out.

namespace quillfen {

namespace {

constexpr const char* kDesktopPaneHiddenKey = "desktopPaneHidden";
constexpr double kHealthBridgeFreshSeconds = 86400;
// Claude Code's settings: a page of JSON.
constexpr std::size_t kMaxClaudeSettingsBytes = 1 << 20;

std::optional<TimePoint> modifiedAt(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return std::nullopt;
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(std::chrono::seconds(info.st_mtim.tv_sec) +
                                                                     std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

// Answers on the main thread, later: an answer never re-enters the request that asked for it.
void answerLater(const std::function<void(bool)>& answer, bool value) {
    QMetaObject::invokeMethod(qApp, [answer, value] { answer(value); }, Qt::QueuedConnection);
}

}  // namespace

std::filesystem::path AppController::healthBridgeFile() {
    return Paths::familyDirectory() / "health-bridge.json";
}

void AppController::refreshSettingsModel() {
    const LoginItem::State login = LoginItem::state();
    settingsModel_.setLaunchAtLogin(login == LoginItem::State::enabled);
    settingsModel_.setLoginItemNote(SettingsModel::loginItemNoteFor(LoginItem::toString(login)));
    // Why the switch cannot turn on or the keep-alive cannot come, judged now by the rule their
    // writes follow.
    const auto installed = RunningCopy::installed();
    settingsModel_.setLoginRefusal(
        LoginItem::note(login == LoginItem::State::enabled ? "" : LoginItem::obstacle(installed),
                        LaunchAgent::obstacle(installed)));
    settingsModel_.setShowDesktopPane(!desktop_.defaults.boolean(kDesktopPaneHiddenKey).value_or(false));
    settingsModel_.setCalendarBreaks(desktop_.defaults.boolean(CalendarBreakScheduler::kEnabledKey).value_or(false));
    settingsModel_.setSelfUpdate(SelfUpdater::isEnabled(desktop_.defaults));
    settingsModel_.setBuildLabel(SelfUpdater::localVersion() + " (" + SelfUpdater::localSha() + ")");
    // Only through the user's own links: another user's ~/.claude says nothing about ours.
    const auto claudeSettings = SafeFile::readWhole(Paths::home() / ".claude/settings.json",
                                                    kMaxClaudeSettingsBytes, SafeFile::Links::ours);
    settingsModel_.setStatuslineInstalled(claudeSettings && claudeSettings->find("statusline-mirror.sh") != std::string::npos);
    settingsModel_.setClaudeFaceNote(claudeFaceNote_);
    const auto bridged = modifiedAt(healthBridgeFile());
    const bool flowing =
        bridged && std::chrono::duration<double>(desktop_.now() - *bridged).count() < kHealthBridgeFreshSeconds;
    settingsModel_.setHealthBridgeNote(std::string(flowing ? SettingsModel::kHealthFlowing : SettingsModel::kHealthNotSetUp));

    QPointer<AppController> self(this);
    // The refresh replaces these very callbacks, so it runs after the one calling has returned.
    auto refreshLater = [self] {
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self) self->refreshSettingsModel();
            },
            Qt::QueuedConnection);
    };
    settingsModel_.onLaunchAtLogin = [refreshLater](bool on) {
        if (on) {
            LoginItem::enable();
        } else {
            LoginItem::disableIfRegistered();
        }
        refreshLater();
    };
    settingsModel_.onShowDesktopPane = [self](bool show) {
        if (!self) return;
        self->desktop_.defaults.setBoolean(kDesktopPaneHiddenKey, !show);
        self->repositionLivingWindow();
    };
    settingsModel_.onInstallClaudeFace = [self, refreshLater] {
        if (!self) return;
        self->installClaudeFace();
        refreshLater();
    };
    settingsModel_.onCalendarBreaks = [self](bool on) {
        if (self) self->desktop_.defaults.setBoolean(CalendarBreakScheduler::kEnabledKey, on);
    };
    settingsModel_.onSelfUpdate = [self](bool on) {
        if (self) self->desktop_.defaults.setBoolean(SelfUpdater::kEnabledKey, on);
    };
}

void AppController::installClaudeFace() {
    const auto report = ClaudeFaceInstaller::install(Paths::home(), ClaudeFaceScripts::bundled, desktop_.now());
    claudeFaceNote_ = ClaudeFaceInstaller::note(report.settings);
}

void AppController::wireOnboarding(OnboardingModel& model) {
    model.setBoundary(InterruptBoundaries::stored(desktop_.defaults.string(InterruptBoundaries::storageKey)));
    model.setSources(WorkSourceRegistry::sources(
        [](std::string_view path) { return homeRelativeExists(std::string(path)); }));
    model.setCalendarGrant(
        calendarGrantState(desktop_.eventStore ? desktop_.eventStore->accessStatus() : CalendarAccess::notDetermined));
    if (config_.locationMode == LocationMode::coreLocationCoarse && !locationProvider_ && desktop_.makeLocationManager)
        locationProvider_ = std::make_unique<LocationProvider>(desktop_.makeLocationManager());
    std::optional<LocationAuthorization> location;
    if (locationProvider_) location = locationProvider_->manager().authorizationStatus();
    model.setWeatherGrant(weatherGrantState(config_, location));

    QPointer<AppController> self(this);
    model.requestNotifications = [self](OnboardingModel::Completion done) {
        if (!self || !self->notifications_) {
            done();
            return;
        }
        // The user's yes is kept whatever the desktop answers, and the step moves on either way.
        self->notifications_->keepAnswer(true);
        self->notifications_->requestAuthorization([done](bool) { done(); });
    };
    model.declineNotifications = [self] {
        if (self && self->notifications_) self->notifications_->keepAnswer(false);
    };
    model.requestCalendar = [self](OnboardingModel::GrantAnswer answer) {
        auto store = self ? self->desktop_.eventStore : nullptr;
        if (!store) {
            answer(false);
            return;
        }
        // The store may answer on a thread of its own.
        CalendarReader::requestAndRead(store, self->desktop_.now(), [self, answer](const CalendarSignal& signal) {
            QMetaObject::invokeMethod(
                qApp,
                [self, answer, signal] {
                    if (self) self->applyCalendar(signal);
                    answer(signal.authorized);
                },
                Qt::QueuedConnection);
        });
    };
    model.requestWeather = [self](OnboardingModel::GrantAnswer answer) {
        if (!self) {
            answer(false);
            return;
        }
        self->requestWeather(std::move(answer));
    };
    model.applyBoundary = [self](InterruptBoundary boundary) {
        if (self) self->applyBoundary(boundary);
    };
    model.save = [self](const Promise& promise) {
        if (!self || !self->promiseStore_) return false;
        const bool kept = self->promiseStore_->save(promise);
        self->publishLiveness();
        return kept;
    };
    model.onDone = [self] {
        if (self) self->closeOnboarding();
    };
    refreshOnboardingReading();
}

void AppController::requestWeather(std::function<void(bool)> answer) {
    switch (config_.locationMode) {
        case LocationMode::none:
            answer(false);
            return;
        case LocationMode::fixedPlace:
            // The configured place is the weather's location; no location service is asked.
            answer(weatherGrantState(config_, std::nullopt) == ContextGrantState::allowed);
            return;
        case LocationMode::coreLocationCoarse:
            break;
    }
    if (!locationProvider_ && desktop_.makeLocationManager)
        locationProvider_ = std::make_unique<LocationProvider>(desktop_.makeLocationManager());
    if (!hasLocationService()) {
        answerLater(answer, false);
        return;
    }
    auto& manager = locationProvider_->manager();
    switch (manager.authorizationStatus()) {
        case LocationAuthorization::authorized:
            manager.requestLocation();
            answerLater(answer, true);
            return;
        case LocationAuthorization::notDetermined:
            // A second request while the first waits takes its place.
            locationProvider_->grantAnswer = [answer](bool granted) { answerLater(answer, granted); };
            manager.requestWhenInUseAuthorization();
            return;
        default:
            answerLater(answer, false);
            return;
    }
}

void AppController::refreshOnboardingReading() {
    QPointer<AppController> self(this);
    const TimePoint now = desktop_.now();
    work_->run<WorkReading>(
        "the work reading",
        [now, read = desktop_.core.readAITools](std::stop_token) {
            const AIToolSignal signal = read(now);
            return WorkReading::today(signal.activeSpanMinToday, signal.longestRunMinToday, signal.projectsToday);
        },
        [self](WorkReading reading) {
            if (self && self->onboardingModel_) self->onboardingModel_->setReading(std::move(reading));
        });
}

}  // namespace quillfen
