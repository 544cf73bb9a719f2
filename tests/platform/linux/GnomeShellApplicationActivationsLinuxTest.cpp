#include <gtest/gtest.h>

#include <QDBusMessage>

#include <filesystem>
#include <optional>

#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/WaylandConnection.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/HeadlessCompositor.h"
#include "support/ManualDelay.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;

const QString kShell = QStringLiteral("org.gnome.Shell");

QDBusMessage extensions(BusConnection& bus, const QString& method, const QVariantList& arguments = {}) {
    return bus.ask(kShell, QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell.Extensions"),
                   method, arguments);
}

bool enable(BusConnection& bus, const std::string& uuid) {
    return extensions(bus, QStringLiteral("EnableExtension"), {QString::fromStdString(uuid)})
        .arguments()
        .value(0)
        .toBool();
}

// GNOME Shell, headless, with both forms of the application's extension and the tests' own found
// at its start and none of them on; the tests' client's windows of two applications, which the
// tests' extension brings to the front.
struct ShellWithExtensions {
    test::TestHome home;
    test::HeadlessCompositor shell{test::HeadlessCompositor::Kind::gnomeShell};
    std::optional<BusConnection> connection;
    std::unique_ptr<test::ChildProcess> editor, browser;
    test::ScopedEnv noDisplay{"DISPLAY", std::nullopt};
    test::ManualDelay delay;
    std::optional<int> version;
    const QString applications[2] = {QStringLiteral("org.example.Editor"),
                                     QStringLiteral("org.example.Browser")};

    // Why it could not start, or nothing.
    std::optional<std::string> start() {
        for (const fs::path& folder :
             {fs::path(QUILLFEN_GNOME_EXTENSIONS), fs::path(QUILLFEN_TEST_GNOME_EXTENSIONS)})
            for (const auto& extension : fs::directory_iterator(folder))
                shell.addShellExtension(extension.path());
        if (auto failure = shell.start()) return failure;
        connection.emplace(shell.bus());
        if (!test::spinUntil([&] {
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
            if (!test::spinUntil([&] {
                    focus(application);
                    return test::spinUntil([&] { return focused() == application; },
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
            if (!test::spinUntil([&] { return count > i; })) return count;
        }
        test::spinFor(std::chrono::milliseconds(100));
        return count;
    }
};

TEST(GnomeShellApplicationActivations, UntilTheExtensionIsOnSaysHowToTurnItOnThenCountsWhatItReports) {
    ShellWithExtensions session;
    if (auto failure = session.start()) GTEST_SKIP() << *failure;
    auto& connection = *session.connection;
    const auto version = session.version;
    {
        // Not turned on yet: the chooser says which extension would show the switches, and how, in
        // the order GNOME needs: it finds an extension installed since the login at the next one.
        test::CapturedSystemLog log;
        auto unseen = session.choose();
        ASSERT_TRUE(test::spinUntil([&] { return unseen->gap().nativeWindowsUnseen; }));
        EXPECT_EQ(unseen->gap().extensionToTurnOn, gnomeFocusExtension(*version));
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines.front().find("log in again once it is installed, then gnome-extensions enable " +
                                         gnomeFocusExtension(*version)),
                  std::string::npos)
            << log.lines.front();
    }
    ASSERT_TRUE(enable(connection, gnomeFocusExtension(*version)));
    ASSERT_TRUE(session.turnOnTheSwitcher());
    ASSERT_TRUE(session.bothWindowsShown());

    test::CapturedSystemLog log;
    auto activations = session.choose();
    ASSERT_TRUE(test::spinUntil([&] { return !log.lines.empty(); }));
    EXPECT_EQ(activations->gap(), ApplicationActivations::Gap{});
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             "sensing: application switches come from Quillfen's GNOME Shell extension"});
    EXPECT_EQ(session.countOfTwentySwitches(*activations), 20);
}

// The shell finds an extension installed since the login only at the next one, and the person turns
// it on after that, with the application running: its switches count from then on, with no start
// of the application again; turned off, they are the gap again.
TEST(GnomeShellApplicationActivations, TheExtensionTurnedOnWhileTheApplicationRunsIsCountedFromThenOn) {
    ShellWithExtensions session;
    if (auto failure = session.start()) GTEST_SKIP() << *failure;
    auto& connection = *session.connection;
    const std::string extension = gnomeFocusExtension(*session.version);
    const auto turnOff = [&] {
        return extensions(connection, QStringLiteral("DisableExtension"), {QString::fromStdString(extension)})
            .arguments()
            .value(0)
            .toBool();
    };
    // Ours tells the tests when both windows have been in front; then it goes off again.
    ASSERT_TRUE(session.turnOnTheSwitcher());
    ASSERT_TRUE(enable(connection, extension));
    ASSERT_TRUE(session.bothWindowsShown());
    ASSERT_TRUE(turnOff());
    auto activations = session.choose();
    ASSERT_TRUE(test::spinUntil([&] { return activations->gap().nativeWindowsUnseen; }));

    ASSERT_TRUE(enable(connection, extension));
    EXPECT_TRUE(test::spinUntil([&] { return activations->gap() == ApplicationActivations::Gap{}; }));
    EXPECT_EQ(session.countOfTwentySwitches(*activations), 20);

    ASSERT_TRUE(turnOff());
    EXPECT_TRUE(test::spinUntil([&] {
        return activations->gap() == ApplicationActivations::Gap{true, extension};
    }));
}

// A machine runs one GNOME Shell, which loads one form of each extension (43 on Debian 12, 48 on
// Debian 13); the other form, made around the same body, must at least parse as its shell loads it.
TEST(GnomeShellApplicationActivations, EachFormOfTheExtensionParsesAsItsShellLoadsItAndNamesItsVersions) {
    const fs::path extensions = QUILLFEN_GNOME_EXTENSIONS;
    for (int version : {43, 44, 45, 49}) {
        const auto metadata = test::readFile(extensions / gnomeFocusExtension(version) / "metadata.json");
        EXPECT_NE(metadata.find("\"" + std::to_string(version) + "\""), std::string::npos) << version;
        EXPECT_NE(metadata.find("\"uuid\": \"" + gnomeFocusExtension(version) + "\""), std::string::npos);
    }

    if (!fs::exists("/usr/bin/gjs")) GTEST_SKIP() << "gjs is missing";
    const auto parses = [](const fs::path& file, const std::string& target) {
        return test::ChildProcess({"/usr/bin/gjs", "-c",
                                   "const [, bytes] = imports.gi.GLib.file_get_contents(ARGV[0]);"
                                   "Reflect.parse(new TextDecoder().decode(bytes), {target: ARGV[1]});",
                                   file.string(), target})
            .endsWell();
    };
    EXPECT_TRUE(parses(extensions / "quillfen-focus@quillfen.org/extension.js", "module"));
    EXPECT_TRUE(parses(extensions / "quillfen-focus-43@quillfen.org/extension.js", "script"));
    EXPECT_FALSE(parses(extensions / "quillfen-focus@quillfen.org/extension.js", "script"));
    const fs::path switchers = QUILLFEN_TEST_GNOME_EXTENSIONS;
    EXPECT_TRUE(parses(switchers / "focus-switcher@tests.quillfen.org/extension.js", "module"));
    EXPECT_TRUE(parses(switchers / "focus-switcher-43@tests.quillfen.org/extension.js", "script"));
}

// A shell busy with the login still answers, only late: the session is GNOME's all the same.
TEST(GnomeShellApplicationActivations, TheShellIsKnownByItsVersionThoughItAnswersLate) {
    PrivateBus bus;
    DbusMock shell(bus, "gnome_shell", R"({"version": "48.7", "delay": 1.5})");
    BusConnection connection(bus);
    ASSERT_TRUE(connection.waitForName(kShell));
    EXPECT_EQ(gnomeShellMajorVersion(*connection), 48);
}

}  // namespace
}  // namespace quillfen
