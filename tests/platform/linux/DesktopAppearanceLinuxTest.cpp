#include "platform/linux/DesktopAppearanceLinux.h"

#include <gtest/gtest.h>

#include <QDBusVariant>
#include <optional>

#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;

const QString kPortalName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// A settings portal on a bus of its own, and the application's appearance reading it.
struct PortalScene {
    PrivateBus bus;
    DbusMock portal{bus, "settings_portal"};
    BusConnection connection{bus};
    test::CapturedSystemLog log;
    std::unique_ptr<DesktopAppearance> appearance;

    PortalScene() { EXPECT_TRUE(connection.waitForName(kPortalName)); }

    // The portal holds `parameters` (as its template takes them), and a fresh appearance has
    // had every answer it asked for.
    void readAfresh(const char* parameters) {
        connection.call(kPortalName, kPortalPath, kMockInterface, QStringLiteral("Reset"),
                        {QString::fromUtf8(parameters)});
        log.lines.clear();
        appearance = makePortalAppearance(*connection);
        settle();
    }
    // The portal answers in order: once it has answered this, it has answered everything asked
    // before, and a few rounds of events hand the answers over.
    void settle() {
        connection.call(kPortalName, kPortalPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                        QStringLiteral("Introspect"));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    void change(const char* ns, const char* key, const QVariant& value) {
        connection.call(
            kPortalName, kPortalPath, kMockInterface, QStringLiteral("Set"),
            {QString::fromLatin1(ns), QString::fromLatin1(key), QVariant::fromValue(QDBusVariant(value))});
        settle();
    }
    int portalLines() const {
        int n = 0;
        for (const auto& line : log.lines)
            n += line.rfind("appearance: the settings portal", 0) == 0;
        return n;
    }
};

TEST(DesktopAppearanceLinux, ReducesMotionWhenAnyDesktopsSettingAsksForIt) {
    const struct {
        const char* name;
        const char* parameters;
        bool reduce;
    } cases[] = {
        {"GNOME's animations off",
         R"({"settings": [["org.gnome.desktop.interface", "enable-animations", "b", false]]})", true},
        {"GNOME's animations on",
         R"({"settings": [["org.gnome.desktop.interface", "enable-animations", "b", true]]})", false},
        {"KDE's animations instant",
         R"({"settings": [["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "d", 0.0]]})", true},
        {"KDE's animations at their speed",
         R"({"settings": [["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "d", 1.0]]})", false},
        {"KDE's instant as kdeglobals' text",
         R"({"settings": [["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "s", "0"]]})", true},
        {"the portal's reduced motion",
         R"({"settings": [["org.freedesktop.appearance", "reduced-motion", "u", 1]]})", true},
        {"the portal's no preference",
         R"({"settings": [["org.freedesktop.appearance", "reduced-motion", "u", 0]]})", false},
        {"an older portal's nested answer",
         R"({"settings": [["org.gnome.desktop.interface", "enable-animations", "b", false]], "nested": true})",
         true},
        {"one of three asking",
         R"({"settings": [["org.gnome.desktop.interface", "enable-animations", "b", true],
                          ["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "d", 0.0],
                          ["org.freedesktop.appearance", "reduced-motion", "u", 0]]})",
         true},
        {"values of other types",
         R"({"settings": [["org.gnome.desktop.interface", "enable-animations", "s", "false"],
                          ["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "b", false],
                          ["org.freedesktop.appearance", "reduced-motion", "i", 1]]})",
         false},
        {"text that is no number",
         R"({"settings": [["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "s", "instant"]]})", false},
        {"a whole number for KDE's factor",
         R"({"settings": [["org.kde.kdeglobals.KDE", "AnimationDurationFactor", "u", 0]]})", false},
        {"keys the portal does not know", R"({})", false},
    };
    PortalScene scene;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scene.readAfresh(c.parameters);
        EXPECT_EQ(scene.appearance->reduceMotion(), c.reduce);
        // Each case leaves some key unknown: the first such answer is logged, and no other.
        EXPECT_EQ(scene.portalLines(), 1);
    }
}

TEST(DesktopAppearanceLinux, EachSettingKeepsItsLastAnswerAsThePortalSaysItChanged) {
    PortalScene scene;
    scene.readAfresh("{}");
    int heard = 0;
    Subscription listening = scene.appearance->subscribe([&] { ++heard; });
    const struct {
        const char* ns;
        const char* key;
        QVariant value;
        bool reduce;
        int heard;
    } changes[] = {
        {"org.kde.kdeglobals.KDE", "AnimationDurationFactor", 0.0, true, 1},
        // Another type says nothing, and another setting's no-preference leaves KDE's wish.
        {"org.kde.kdeglobals.KDE", "AnimationDurationFactor", QStringLiteral("slow"), true, 1},
        {"org.freedesktop.appearance", "reduced-motion", QVariant::fromValue(0u), true, 1},
        {"org.kde.kdeglobals.KDE", "AnimationDurationFactor", 0.5, false, 2},
        {"org.freedesktop.appearance", "reduced-motion", QVariant::fromValue(1u), true, 3},
        {"org.gnome.desktop.interface", "enable-animations", false, true, 3},
        {"org.freedesktop.appearance", "reduced-motion", QVariant::fromValue(0u), true, 3},
        {"org.gnome.desktop.interface", "enable-animations", true, false, 4},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(std::string(c.key) + " " + c.value.toString().toStdString());
        scene.change(c.ns, c.key, c.value);
        EXPECT_EQ(scene.appearance->reduceMotion(), c.reduce);
        EXPECT_EQ(heard, c.heard);
    }
}

}  // namespace
}  // namespace quillfen
