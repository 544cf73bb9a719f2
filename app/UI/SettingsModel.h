#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "UI/ObservableModel.h"

namespace quillfen {

// The settings window's switches. The shell fills the fields and the callbacks each time the
// window opens; a switch writes its field first and then calls its callback with the new value.
class SettingsModel : public ObservableModel {
    Q_OBJECT
public:
    using ObservableModel::ObservableModel;

    // The notes the shell fills in, in the words the window shows.
    static constexpr std::string_view kApprovalNote =
        "waiting for your approval in your desktop’s settings, Autostart";
    static constexpr std::string_view kUnavailableNote = "unavailable on this build";
    static constexpr std::string_view kHealthFlowing = "flowing (updated today)";
    static constexpr std::string_view kHealthNotSetUp =
        "not set up; ten minutes on your phone, see docs/HEALTH-BRIDGE.md";

    // The note under "Start at login" for the autostart entry's state, by its raw value
    // ("enabled", "notRegistered", "requiresApproval", "unavailable"); other text reads as
    // unavailable.
    static std::string loginItemNoteFor(std::string_view loginItemState);

    bool launchAtLogin() const { return launchAtLogin_; }
    const std::string& loginItemNote() const { return loginItemNote_; }
    // What stands in the way of the autostart entry or the keep-alive unit and what would clear
    // it, in one short note for a person; empty when nothing does.
    const std::string& loginRefusal() const { return loginRefusal_; }
    bool showDesktopPane() const { return showDesktopPane_; }
    bool calendarBreaks() const { return calendarBreaks_; }
    bool statuslineInstalled() const { return statuslineInstalled_; }
    const std::string& healthBridgeNote() const { return healthBridgeNote_; }
    bool selfUpdate() const { return selfUpdate_; }
    const std::string& buildLabel() const { return buildLabel_; }
    // Why the last install left the Claude Code settings as they were; empty when it did not.
    const std::string& claudeFaceNote() const { return claudeFaceNote_; }

    void setLaunchAtLogin(bool v) { assign(launchAtLogin_, v); }
    void setLoginItemNote(std::string v) { assign(loginItemNote_, std::move(v)); }
    void setLoginRefusal(std::string v) { assign(loginRefusal_, std::move(v)); }
    void setShowDesktopPane(bool v) { assign(showDesktopPane_, v); }
    void setCalendarBreaks(bool v) { assign(calendarBreaks_, v); }
    void setStatuslineInstalled(bool v) { assign(statuslineInstalled_, v); }
    void setHealthBridgeNote(std::string v) { assign(healthBridgeNote_, std::move(v)); }
    void setSelfUpdate(bool v) { assign(selfUpdate_, v); }
    void setBuildLabel(std::string v) { assign(buildLabel_, std::move(v)); }
    void setClaudeFaceNote(std::string v) { assign(claudeFaceNote_, std::move(v)); }

    std::function<void(bool)> onLaunchAtLogin = [](bool) {};
    std::function<void(bool)> onShowDesktopPane = [](bool) {};
    std::function<void(bool)> onCalendarBreaks = [](bool) {};
    std::function<void()> onInstallClaudeFace = [] {};
    std::function<void(bool)> onSelfUpdate = [](bool) {};

private:
    bool launchAtLogin_ = false;
    std::string loginItemNote_;
    std::string loginRefusal_;
    bool showDesktopPane_ = true;
    bool calendarBreaks_ = false;
    bool statuslineInstalled_ = false;
    std::string healthBridgeNote_ = "not set up";
    bool selfUpdate_ = true;
    std::string buildLabel_;
    std::string claudeFaceNote_;
};

}  // namespace quillfen
