#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <memory>

#include "UI/PanelView.h"
#include "UI/SettingsView.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/TextFits.h"

namespace quillfen {
namespace {

// Named apart from the panel test's ask(): a unity build may compile the two as one file.
NudgeCopy askWith(std::string one, std::string two, MoveLabel move = MoveLabel::stepOutside) {
    NudgeCopy n;
    n.panelLineOne = std::move(one);
    n.panelLineTwo = std::move(two);
    n.primaryButton = "Step outside";
    n.dismissButton = "Not now";
    n.moveLabel = move;
    return n;
}

struct ViewScene {
    test::SteppedMotion motion;
    PanelModel panel;
    SettingsModel settings;
    std::unique_ptr<QWidget> view;

    void openPanel(std::optional<NudgeCopy> nudge) {
        PanelMirror mirror;
        mirror.makeStrip = [](QWidget* parent) { return new QWidget(parent); };
        view = std::make_unique<PanelView>(panel, mirror, WindowPresence{}, nullptr, motion.driver);
        panel.setNudge(std::move(nudge));
        if (panel.nudge()) panel.setAskPhase(AskPhase::expanding);
    }
    void openSettings() { view = std::make_unique<SettingsView>(settings, nullptr, motion.driver); }
};

// Run once as it is and once more by CTest at twice the scale: the views are shown as windows,
// sized by nothing but themselves, as a person would see them.
TEST(TextFit, ThePanelAndTheSettingsClipNoTextInAnyCondition) {
    const std::string wrapping = "Third long afternoon this week.";
    const std::pair<const char*, std::function<void(ViewScene&)>> cases[] = {
        {"calm panel", [](ViewScene& s) { s.openPanel(std::nullopt); }},
        {"observe-only panel",
         [](ViewScene& s) {
             s.panel.setObserveOnly(true);
             s.openPanel(std::nullopt);
         }},
        {"one-line ask", [](ViewScene& s) { s.openPanel(askWith("Two hours straight.", "")); }},
        {"wrapping two-line ask", [&](ViewScene& s) { s.openPanel(askWith(wrapping, "Step outside for five.")); }},
        {"static render",
         [&](ViewScene& s) {
             s.panel.setStaticRender(true);
             s.openPanel(askWith(wrapping, "Step outside for five."));
         }},
        {"grounding mid-way",
         [&](ViewScene& s) {
             s.openPanel(askWith(wrapping, "", MoveLabel::breath));
             s.panel.setActiveIntervention(InPanelInterventionKind::grounding543);
             s.view->show();
             while (s.motion.seconds < 20) s.motion.advance(0.5);
         }},
        {"fresh settings", [](ViewScene& s) { s.openSettings(); }},
        {"approval pending, face installed",
         [](ViewScene& s) {
             s.settings.setLoginItemNote(std::string(SettingsModel::kApprovalNote));
             s.settings.setStatuslineInstalled(true);
             s.settings.setBuildLabel("0.9.0 (a1b2c3d)");
             s.openSettings();
         }},
        {"a login switch that cannot take effect",
         [](ViewScene& s) {
             s.settings.setLoginRefusal("Not started at login: others may change /srv/margarethe.vandersloot (its "
                                        "group familyshare may write it). Install Quillfen in a folder only you and "
                                        "the system may change, such as ~/.local, to allow it.");
             s.openSettings();
         }},
        {"every sub-line at its longest",
         [](ViewScene& s) {
             s.settings.setLoginItemNote(std::string(SettingsModel::kApprovalNote));
             s.settings.setHealthBridgeNote(std::string(SettingsModel::kHealthNotSetUp));
             s.settings.setBuildLabel("0.12.10 (unstamped)");
             s.openSettings();
         }},
    };
    for (const auto& [name, open] : cases) {
        SCOPED_TRACE(name);
        ViewScene scene;
        open(scene);
        scene.view->show();
        QApplication::processEvents();
        EXPECT_EQ(test::clippedTexts(scene.view.get()), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace quillfen
