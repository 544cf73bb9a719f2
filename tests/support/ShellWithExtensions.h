#pragma once

#include <QDBusArgument>
#include <QDBusMessage>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/WaylandConnection.h"
#include "support/ChildProcess.h"
#include "support/HeadlessCompositor.h"
#include "support/ManualDelay.h"
#include "support/QtTestSupport.h"

// Needs QUILLFEN_GNOME_EXTENSIONS (the application's extensions, as built) and
// QUILLFEN_TEST_GNOME_EXTENSIONS (the tests' own) defined by the target that includes it.
namespace quillfen::test {

inline const QString kShell = QStringLiteral("org.gnome.Shell");

inline QDBusMessage extensions(BusConnection& bus, const QString& method,
                               const QVariantList& arguments = {}) {
    return bus.ask(kShell, QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell.Extensions"),
                   method, arguments);
}

// The states the shell gives an extension, by the numbers it says them with.
enum ExtensionState {
    kExtensionOn = 1,
    kExtensionOff = 2,
    kExtensionFailed = 3,
    kExtensionOutOfDate = 4,
    kExtensionFoundNotLoaded = 6,
    kExtensionTurningOff = 7,
    kExtensionTurningOn = 8,
};

// The state the shell gives the extension; nothing where it did not say.
inline std::optional<int> extensionState(BusConnection& bus, const std::string& uuid) {
    const auto reply = extensions(bus, QStringLiteral("GetExtensionInfo"), {QString::fromStdString(uuid)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const auto info = qdbus_cast<QVariantMap>(reply.arguments().front());
    if (!info.contains(QStringLiteral("state"))) return std::nullopt;
    return static_cast<int>(info.value(QStringLiteral("state")).toDouble());
}

// Turns an extension on or off as `gnome-extensions` does, and says whether the shell did once it
// has. GNOME 45 and later load and turn on an extension a while after they say yes, and a change
// that comes meanwhile has them turn it on a second time, as a second copy: that copy fails, the
// first goes on, and the shell, taking the extension for failed, no longer turns it off.
inline bool turnExtension(BusConnection& bus, const std::string& uuid, bool on) {
    if (!extensions(bus, on ? QStringLiteral("EnableExtension") : QStringLiteral("DisableExtension"),
                    {QString::fromStdString(uuid)})
             .arguments()
             .value(0)
             .toBool())
        return false;
    return spinUntil([&] {
        const auto state = extensionState(bus, uuid);
        if (!state) return false;
        return on ? *state == kExtensionOn || *state == kExtensionFailed || *state == kExtensionOutOfDate
                  : *state != kExtensionOn && *state != kExtensionTurningOff && *state != kExtensionTurningOn;
    });
}

inline bool enable(BusConnection& bus, const std::string& uuid) {
    return turnExtension(bus, uuid, true);
}

// GNOME Shell, headless, with both forms of the application's extension and the tests' own found
// at its start and none of them on; the tests' client's windows of two applications, which the
// tests' extension brings to the front. With Xwayland where `withXwayland` is set before the start.
struct ShellWithExtensions {
    TestHome home;
    bool withXwayland = false;
    HeadlessCompositor shell{HeadlessCompositor::Kind::gnomeShell};
    std::optional<BusConnection> connection;
    std::unique_ptr<ChildProcess> editor, browser;
    ScopedEnv noDisplay{"DISPLAY", std::nullopt};
    ManualDelay delay;
    std::optional<int> version;
    const QString applications[2] = {QStringLiteral("org.example.Editor"),
                                     QStringLiteral("org.example.Browser")};

    // Why it could not start, or nothing.
    std::optional<std::string> start() {
        for (const std::filesystem::path& folder : {std::filesystem::path(QUILLFEN_GNOME_EXTENSIONS),
                                                    std::filesystem::path(QUILLFEN_TEST_GNOME_EXTENSIONS)})
            for (const auto& extension : std::filesystem::directory_iterator(folder))
                shell.addShellExtension(extension.path());
        if (withXwayland) shell.withXwayland();
        if (auto failure = shell.start()) return failure;
        connection.emplace(shell.bus());
        if (!spinUntil([&] {
                return extensions(*connection, QStringLiteral("ListExtensions")).type() ==
                       QDBusMessage::ReplyMessage;
            }))
            return "the shell never listed its extensions";
        editor = shell.window("org.example.Editor");
        browser = shell.window("org.example.Browser");
        version = gnomeShellMajorVersion(**connection);
        if (!version) return "the shell never said its version";
        return std::nullopt;
    }

    std::unique_ptr<ApplicationActivations> choose() {
        return makeApplicationActivations(
            ApplicationActivationsParts{SessionType::wayland,
                                        WaylandConnection::open(shell.socketPath().string(), delay, 5),
                                        **connection,
                                        {}});
    }

    // The tests' switcher: the shell runs the form made for it, and leaves the other out of date.
    bool turnOnTheSwitcher() {
        return enable(*connection, "focus-switcher@tests.quillfen.org") &&
               enable(*connection, "focus-switcher-43@tests.quillfen.org");
    }
    // The person brings a window to the front; the shell tells once it is there.
    void focus(const QString& application) {
        connection->ask(kShell, QStringLiteral("/org/quillfen/Test/FocusSwitcher"),
                        QStringLiteral("org.quillfen.Test.FocusSwitcher"), QStringLiteral("Focus"),
                        {application});
    }
    QString focused() {
        return connection
            ->ask(kShell, QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                  QStringLiteral("FocusedApplication"))
            .arguments()
            .value(0)
            .toString();
    }
    // Both windows have been in front, so the focus the shell gives a new window is behind us.
    bool bothWindowsShown() {
        for (const QString& application : applications) {
            if (!spinUntil([&] {
                    focus(application);
                    return spinUntil([&] { return focused() == application; },
                                     std::chrono::milliseconds(200));
                }))
                return false;
        }
        return true;
    }
    // The switches `activations` counts of twenty the person makes.
    int countOfTwentySwitches(ApplicationActivations& activations) {
        int count = 0;
        auto subscription = activations.subscribe([&] { ++count; });
        for (int i = 0; i < 20; ++i) {
            focus(applications[i % 2]);
            if (!spinUntil([&] { return count > i; })) return count;
        }
        spinFor(std::chrono::milliseconds(100));
        return count;
    }
};

}  // namespace quillfen::test
