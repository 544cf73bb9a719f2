#include <gtest/gtest.h>

#include <QApplication>

#include "UI/MossToggle.h"
#include "UI/ParagraphLabel.h"
#include "UI/PlainTextButton.h"
#include "UI/SettingsView.h"
#include "UI/Theme.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

struct Settings {
    test::SteppedMotion motion;
    SettingsModel model;
    SettingsView view{model, nullptr, motion.driver};
    Settings() {
        model.setBuildLabel("0.9.0 (a1b2c3d)");
        view.show();
        QApplication::processEvents();
    }
    MossToggle* toggle(const char* name) { return view.findChild<MossToggle*>(name); }
    QString text(const char* name) { return view.findChild<ParagraphLabel*>(name)->text(); }
};

TEST(SettingsView, AFreshModelShowsTheRowsInOrderAndTheInstalledFaceSaysOn) {
    Settings s;
    std::vector<std::string> rows;
    for (const char* name : {"launchAtLoginRow", "showDesktopPaneRow", "selfUpdateRow", "calendarBreaksRow",
                             "statuslineRow", "healthBridgeRow"}) {
        QWidget* row = s.view.findChild<QWidget*>(name);
        rows.push_back(row->findChild<ParagraphLabel*>("title")->text().toStdString());
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"Start at login", "Desktop stone", "Keeps itself current",
                                              "Calendar breaks", "Claude Code face", "Health signal"}));
    const std::pair<const char*, const char*> notes[] = {
        {"launchAtLoginNote", "the being is back after every restart"},
        {"showDesktopPaneNote", "the breathing pane in the corner; click it to open your rhythm"},
        {"selfUpdateNote", "checks once a day, verifies the maker's signature, swaps quietly · you're on 0.9.0 (a1b2c3d)"},
        {"calendarBreaksNote",
         "off by default; when on, a heavy day gets one ten-minute hold in a free gap of your calendar folder, "
         "announced by your calendar, yours to delete"},
        {"statuslineNote", "one click puts the face and the breather in your Claude Code"},
        {"healthBridgeNote", "not set up"},
        {"heading", "settings"},
    };
    for (const auto& [name, text] : notes) EXPECT_EQ(s.text(name).toStdString(), text) << name;
    const std::pair<const char*, bool> switches[] = {
        {"launchAtLogin", false}, {"showDesktopPane", true}, {"selfUpdate", true}, {"calendarBreaks", false}};
    for (const auto& [name, on] : switches) {
        EXPECT_EQ(s.toggle(name)->isOn(), on) << name;
        EXPECT_EQ(s.toggle(name)->accessibleDescription(), on ? "on" : "off") << name;
    }
    EXPECT_FALSE(s.view.findChild<QWidget*>("statuslineOn")->isVisible());
    int installs = 0;
    s.model.onInstallClaudeFace = [&] { s.model.setStatuslineInstalled(++installs > 0); };
    s.view.findChild<PlainTextButton*>("installButton")->click();
    EXPECT_EQ(s.text("statuslineNote"), "installed: the stone lives in your statusline");
    EXPECT_EQ(s.text("statuslineOn"), "on");
    EXPECT_TRUE(s.view.findChild<QWidget*>("statuslineOn")->isVisible());
    EXPECT_FALSE(s.view.findChild<PlainTextButton*>("installButton")->isVisible());
    EXPECT_EQ(s.view.findChild<ParagraphLabel*>("heading")->font().weight(), QFont::DemiBold);
    EXPECT_EQ(s.view.findChild<ParagraphLabel*>("heading")->font().pixelSize(), 21);
    EXPECT_EQ(Theme::pixelSize(s.view.findChild<ParagraphLabel*>("title")->font()), 13.5);
    EXPECT_EQ(s.view.findChild<ParagraphLabel*>("healthBridgeNote")->colour(), Theme::ink3());
}

TEST(SettingsView, EachSwitchWritesItsFieldBeforeItsCallbackHearsTheNewValue) {
    struct Case {
        const char* name;
        std::function<void(bool)> SettingsModel::*callback;
        bool (SettingsModel::*field)() const;
    };
    const Case cases[] = {
        {"launchAtLogin", &SettingsModel::onLaunchAtLogin, &SettingsModel::launchAtLogin},
        {"showDesktopPane", &SettingsModel::onShowDesktopPane, &SettingsModel::showDesktopPane},
        {"selfUpdate", &SettingsModel::onSelfUpdate, &SettingsModel::selfUpdate},
        {"calendarBreaks", &SettingsModel::onCalendarBreaks, &SettingsModel::calendarBreaks},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        const bool before = (s.model.*c.field)();
        std::vector<std::pair<bool, bool>> heard;  // (value, the model's field then)
        s.model.*c.callback = [&](bool v) { heard.emplace_back(v, (s.model.*c.field)()); };
        s.toggle(c.name)->click();
        s.toggle(c.name)->click();
        EXPECT_EQ(heard, (std::vector<std::pair<bool, bool>>{{!before, !before}, {before, before}}));
        EXPECT_EQ(s.toggle(c.name)->isOn(), before);
    }
}

TEST(SettingsView, ASwitchTheDesktopRefusesFollowsTheRefill) {
    Settings s;
    s.model.onLaunchAtLogin = [&](bool) {
        // The autostart entry waits for approval: the shell refills from what the desktop says.
        s.model.setLaunchAtLogin(false);
        s.model.setLoginItemNote(SettingsModel::loginItemNoteFor("requiresApproval"));
    };
    s.toggle("launchAtLogin")->click();
    EXPECT_FALSE(s.toggle("launchAtLogin")->isOn());
    EXPECT_EQ(s.text("launchAtLoginNote"), "waiting for your approval in your desktop’s settings, Autostart");
    s.model.setLoginItemNote(SettingsModel::loginItemNoteFor("notRegistered"));
    EXPECT_EQ(s.text("launchAtLoginNote"), "the being is back after every restart");
    EXPECT_EQ(SettingsModel::loginItemNoteFor("unavailable"), "unavailable on this build");
    EXPECT_EQ(SettingsModel::loginItemNoteFor("enabled"), "");
}

}  // namespace
}  // namespace quillfen
