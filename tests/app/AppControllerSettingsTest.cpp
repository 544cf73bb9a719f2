#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>

#include <filesystem>

#include "AppController.h"
#include "ClaudeFaceScripts.h"
#include "LoginItem.h"
#include "RunningCopy.h"
#include "UI/MossToggle.h"
#include "UI/OnboardingScreen.h"
#include "UI/ParagraphLabel.h"
#include "UI/SettingsView.h"
#include "platform/linux/DesktopNotificationsLinux.h"
#include "platform/linux/LocationManagerLinux.h"
#include "support/CapturedSystemLog.h"
#include "support/ShellHarness.h"
#include "support/FakeEventStore.h"
#include "support/FileTimes.h"
#include "support/NotificationCalls.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// The onboarding window the controller shows, found among the application's windows.
OnboardingScreen* onboardingScreen(const AppController& controller) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* screen = qobject_cast<OnboardingScreen*>(top);
        if (screen == nullptr) screen = top->findChild<OnboardingScreen*>();
        if (screen != nullptr && &screen->model() == controller.onboardingModel()) return screen;
    }
    return nullptr;
}

TEST(AppControllerSettings, TheSettingsShowTheMachinesOwnState) {
    const std::string flowing(SettingsModel::kHealthFlowing), notSetUp(SettingsModel::kHealthNotSetUp);
    const struct {
        std::string name;
        std::optional<double> bridgeAgeHours;
        std::string claudeSettings;
        std::optional<bool> calendarBreaks;  // none: stored as the text "true"
        bool autostartIsAFolder;
        std::string health;
        bool statusline;
        bool calendar;
    } cases[] = {
        {"bridged 23 hours ago", 23, "{}", true, false, flowing, false, true},
        {"bridged 25 hours ago", 25, R"({"statusLine":{"command":"bash ~/.ostrel/statusline-mirror.sh"}})", false,
         false, notSetUp, true, false},
        {"no bridge, a mention anywhere", std::nullopt, R"({"note":"see statusline-mirror.sh"})", std::nullopt, true,
         notSetUp, true, false},
    };
    for (const auto& c : cases) {
        test::Harness h;
        if (c.bridgeAgeHours)
            test::writeFileModified(AppController::healthBridgeFile(), "{}", addSeconds(h.clock.now(), -3600 * *c.bridgeAgeHours));
        test::writeFile(h.home.path() / ".claude/settings.json", c.claudeSettings);
        if (c.calendarBreaks) {
            h.defaults.setBoolean("calendarBreaksEnabled", *c.calendarBreaks);
        } else {
            h.defaults.setString("calendarBreaksEnabled", "true");
        }
        if (c.autostartIsAFolder) fs::create_directories(LoginItem::autostartFile());
        h.start(test::kDeveloper);
        h.controller->refreshSettingsModel();
        const SettingsModel& m = h.controller->settingsModel();
        EXPECT_EQ(m.healthBridgeNote(), c.health) << c.name;
        EXPECT_EQ(m.statuslineInstalled(), c.statusline) << c.name;
        EXPECT_EQ(m.calendarBreaks(), c.calendar) << c.name;
        EXPECT_FALSE(m.launchAtLogin()) << c.name;
        EXPECT_EQ(m.loginItemNote(), c.autostartIsAFolder ? "unavailable on this build" : "") << c.name;
        EXPECT_TRUE(m.selfUpdate()) << c.name;
        EXPECT_TRUE(m.showDesktopPane()) << c.name;
    }
}

// This test program is a copy run from its build folder, which may write neither the autostart
// entry nor the keep-alive unit: the log says so in its words, the note under the switch once, in
// a person's.
TEST(AppControllerSettings, TheLoginSwitchThatCannotTakeEffectSaysWhyInAPersonsWords) {
    test::Harness h;
    h.start(test::kDeveloper);
    h.controller->openSettingsWindow();
    SettingsView* view = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->findChild<SettingsView*>()) view = top->findChild<SettingsView*>();
    ASSERT_NE(view, nullptr);
    test::CapturedSystemLog log;
    auto* toggle = view->findChild<MossToggle*>("launchAtLogin");
    toggle->click();
    ASSERT_TRUE(test::spinUntil([&] { return !toggle->isOn(); })) << "the refill turns it back off";
    EXPECT_EQ(log.lines, std::vector<std::string>{"login-item: login item not written: this copy does not run "
                                                  "from the installed build (" +
                                                  RunningCopy::recorded().build().string() + ")"});
    EXPECT_EQ(view->findChild<ParagraphLabel*>("launchAtLoginNote")->text().toStdString(),
              "Not started at login: this copy runs from its build folder, not from the installed Quillfen. "
              "Install it and start that one to allow it.");
}

TEST(AppControllerSettings, TurningTheDesktopPaneOffKeepsTheChoiceAndHidesThePaneAtOnce) {
    test::Harness h;
    h.start(test::kDeveloper);
    h.controller->refreshSettingsModel();
    auto& m = h.controller->settingsModel();
    h.controller->repositionLivingWindow();
    ASSERT_NE(h.controller->livingWindow().window(), nullptr);
    m.onShowDesktopPane(false);
    EXPECT_EQ(h.defaults.boolean("desktopPaneHidden"), true);
    EXPECT_EQ(h.controller->livingWindow().window(), nullptr) << "the pane is gone at once";
}

TEST(AppControllerSettings, InstallingTheFacePutsTheBundledScriptsInPlaceOrSaysWhyNot) {
    for (const bool broken : {false, true}) {
        test::Harness h;
        const auto settings = h.home.path() / ".claude/settings.json";
        if (broken) test::writeFile(settings, "not json");
        h.start(test::kDeveloper);
        h.controller->refreshSettingsModel();
        auto& m = h.controller->settingsModel();
        m.onInstallClaudeFace();
        test::spinFor(std::chrono::milliseconds(50));
        for (const char* script : {"prompt-cadence-hook", "statusline-mirror"}) {
            const auto installed = h.home.familyDirectory() / (std::string(script) + ".sh");
            EXPECT_EQ(test::readFile(installed), ClaudeFaceScripts::bundled(script).value_or("missing"));
        }
        EXPECT_EQ(m.statuslineInstalled(), !broken);
        EXPECT_EQ(m.claudeFaceNote(), broken ? "left your Claude Code settings as they were: "
                                               "~/.claude/settings.json is not a JSON object"
                                             : "");
        EXPECT_EQ(test::readFile(settings), broken ? "not json" : test::readFile(settings));
    }
}

TEST(AppControllerSettings, TheWeatherGrantAsksTheLocationServiceOnlyForACoarseLocation) {
    const struct {
        std::string mode;
        LocationAuthorization status;
        std::optional<bool> answer;  // none: the user still decides
        std::vector<std::string> asked;
    } cases[] = {
        {"none", LocationAuthorization::authorized, false, {}},
        {"fixedPlace", LocationAuthorization::authorized, true, {}},
        {"coreLocationCoarse", LocationAuthorization::authorized, true, {"location.requestLocation"}},
        {"coreLocationCoarse", LocationAuthorization::denied, false, {}},
        {"coreLocationCoarse", LocationAuthorization::notDetermined, std::nullopt,
         {"location.requestWhenInUseAuthorization", "location.requestWhenInUseAuthorization",
          "location.requestLocation"}},
    };
    for (const auto& c : cases) {
        test::Harness h;
        h.locationStatus = c.status;
        h.start({{"TAVRYN_RENDER_NONE", ""}, {"TAVRYN_LOCATION_MODE", c.mode}, {"TAVRYN_FIXED_PLACE", "Oslo"}});
        h.controller->openOnboarding(OnboardingBeat::optionalContext, OnboardingModel::Entry::firstRun);
        const OnboardingModel* model = h.controller->onboardingModel();
        h.journal.clear();
        std::vector<std::string> answers;
        // A second request while the first waits for the user takes its place.
        model->requestWeather([&](bool granted) { answers.push_back(granted ? "first: yes" : "first: no"); });
        if (!c.answer) model->requestWeather([&](bool granted) { answers.push_back(granted ? "yes" : "no"); });
        test::spinFor(std::chrono::milliseconds(20));
        if (c.answer) {
            EXPECT_EQ(answers, std::vector<std::string>{*c.answer ? "first: yes" : "first: no"}) << c.mode;
        } else {
            EXPECT_TRUE(answers.empty());
            h.locationDelegate->authorizationChanged(LocationAuthorization::authorized);
            EXPECT_TRUE(test::spinUntil([&] { return !answers.empty(); }));
            EXPECT_EQ(answers, std::vector<std::string>{"yes"});
        }
        EXPECT_EQ(h.journal, c.asked) << c.mode;
    }
}

// Without a bus a request is never answered, not even with an error: the missing service is seen
// before anything is asked of it, and said once however often the place is wanted.
TEST(AppControllerSettings, AMissingLocationServiceIsLoggedOnceAndTheWeatherIsRefused) {
    test::PrivateBus bus;
    test::BusConnection withoutGeoClue(bus);
    const QString nowhere = QStringLiteral("quillfen-test-no-system-bus");
    auto noBus = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), nowhere);
    for (QDBusConnection* connection : {&noBus, &*withoutGeoClue}) {
        test::CapturedSystemLog log;
        test::Harness h;
        h.locationService = [&] { return makeGeoClueLocationManager(*connection); };
        // The launch and the sky check ask for the place, then the onboarding's "Allow" twice.
        h.start({{"TAVRYN_RENDER_NONE", ""}, {"TAVRYN_LOCATION_MODE", "coreLocationCoarse"}});
        h.controller->refreshSky();
        h.controller->openOnboarding(OnboardingBeat::optionalContext, OnboardingModel::Entry::firstRun);
        std::vector<bool> answers;
        for (std::size_t allow = 1; allow <= 2; ++allow) {
            h.controller->onboardingModel()->requestWeather([&](bool granted) { answers.push_back(granted); });
            ASSERT_TRUE(test::spinUntil([&] { return answers.size() == allow; }));
        }
        EXPECT_EQ(answers, (std::vector<bool>{false, false}));
        std::erase_if(log.lines, [](const std::string& line) { return line.rfind("location:", 0) != 0; });
        EXPECT_EQ(log.lines, std::vector<std::string>{"location: no location service (GeoClue) is on the system "
                                                      "bus: the sky is asked without a location"});
    }
    QDBusConnection::disconnectFromBus(nowhere);
}

TEST(AppControllerSettings, TheOnboardingKeepsThePromiseAndReadsTheCalendarItWasGranted) {
    test::Harness h;
    auto calendar = std::make_shared<test::FakeEventStore>();
    calendar->access = CalendarAccess::notDetermined;
    h.eventStore = calendar;
    h.start({{"TAVRYN_RENDER_NONE", ""}, {"TAVRYN_LOCATION_MODE", "fixedPlace"}, {"TAVRYN_FIXED_PLACE", "Oslo"}});
    h.controller->openOnboarding(OnboardingBeat::optionalContext, OnboardingModel::Entry::firstRun);
    const OnboardingModel* model = h.controller->onboardingModel();
    EXPECT_EQ(model->calendarGrant(), ContextGrantState::notAsked);
    EXPECT_EQ(model->weatherGrant(), ContextGrantState::allowed);

    std::optional<bool> granted;
    model->requestCalendar([&](bool g) { granted = g; });
    ASSERT_TRUE(test::spinUntil([&] { return granted.has_value(); }));
    EXPECT_EQ(granted, true);
    EXPECT_TRUE(h.controller->inspectModel().calAuthorized());

    Promise promise;
    promise.dayPhrase = "a long afternoon";
    promise.moves.push_back({Uuid::random(), MoveLabel::stepOutside, "step outside for five"});
    EXPECT_TRUE(model->save(promise));
    EXPECT_TRUE(h.controller->inspectModel().hasPromise());
    EXPECT_TRUE(fs::exists(h.home.dataDirectory() / "promise.json"));
    model->onDone();
    // The closed window, and the model with it, goes at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(h.controller->onboardingModel(), nullptr);
}

// The desktop keeps no answer of its own: the user's, given on the notification step, decides
// whether a nudge also shows as a banner, in this run and later ones.
TEST(AppControllerSettings, TheAnswerOnTheNotificationStepDecidesWhetherANudgeAlsoShowsAsABanner) {
    const struct {
        std::string name;
        const char* button;  // on the notification step; none: it was never answered
        bool laterStart;     // with a promise kept, which asks the desktop again
        std::optional<bool> kept;
        bool banner;
    } cases[] = {
        {"never answered", nullptr, false, std::nullopt, true},
        {"Allow notifications", "primaryButton", false, true, true},
        {"Keep it inside the app", "secondaryButton", false, false, false},
        {"Keep it inside the app, then a later start", "secondaryButton", true, false, false},
    };
    NudgeCopy copy;
    copy.notificationTitle = "Third long afternoon this week.";
    copy.notificationBody = "Step outside for five.";
    test::PrivateBus bus;
    test::DbusMock daemon(bus, "notification_daemon", R"({"capabilities": "body actions"})");
    test::BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(test::kNotificationsService));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        connection.call(test::kNotificationsService, test::kNotificationsPath, test::kMockInterface,
                        QStringLiteral("ClearCalls"));
        auto service = makeDesktopNotifications(*connection);
        test::Harness h;
        h.notificationService = service.get();
        h.start({{"TAVRYN_OBSERVE_ONLY", "0"}, {"TAVRYN_RENDER_NONE", ""}});
        if (c.button) {
            h.controller->openOnboarding(OnboardingBeat::oneMoment, OnboardingModel::Entry::firstRun);
            OnboardingScreen* screen = onboardingScreen(*h.controller);
            ASSERT_NE(screen, nullptr);
            screen->currentStepPage()->findChild<QAbstractButton*>(c.button)->click();
            ASSERT_TRUE(test::spinUntil([&] { return screen->model().beat() == OnboardingBeat::promise; }));
        }
        if (c.laterStart) {
            h.stop();
            h.keepPromise();
            h.start({{"TAVRYN_OBSERVE_ONLY", "0"}});
        }
        EXPECT_EQ(h.defaults.boolean(NotificationManager::kBannersAllowedKey), c.kept);

        h.controller->handle(TickResult::fire(copy));
        EXPECT_TRUE(h.controller->shownNudge().has_value());
        EXPECT_TRUE(h.controller->menuBarModel().hasSomethingToSay());
        // The service answers one client in the order it asked: once this is answered, a banner
        // asked for before it has been heard.
        bool answered = false;
        service->probe([&](auto) { answered = true; });
        ASSERT_TRUE(test::spinUntil([&] { return answered; }));
        const auto calls = test::notifyCalls(connection);
        ASSERT_EQ(calls.size(), c.banner ? 1u : 0u);
        if (c.banner) {
            EXPECT_EQ(calls[0].desktopEntry, "org.quillfen.Quillfen");
        }
    }
}

}  // namespace
}  // namespace quillfen
