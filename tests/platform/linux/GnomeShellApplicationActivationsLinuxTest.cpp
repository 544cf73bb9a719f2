#include <gtest/gtest.h>

#include <QDBusMessage>

#include <filesystem>

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

TEST(GnomeShellApplicationActivations, UntilTheExtensionIsOnSaysHowToTurnItOnThenCountsWhatItReports) {
    test::TestHome home;
    test::HeadlessCompositor shell(test::HeadlessCompositor::Kind::gnomeShell);
    // Both forms of the application's extension, and the tests' own.
    for (const fs::path& folder :
         {fs::path(QUILLFEN_GNOME_EXTENSIONS), fs::path(QUILLFEN_TEST_GNOME_EXTENSIONS)})
        for (const auto& extension : fs::directory_iterator(folder))
            shell.addShellExtension(extension.path());
    if (auto failure = shell.start()) GTEST_SKIP() << *failure;
    BusConnection connection(shell.bus());
    ASSERT_TRUE(test::spinUntil([&] {
        return extensions(connection, QStringLiteral("ListExtensions")).type() == QDBusMessage::ReplyMessage;
    }));
    auto editor = shell.window("org.example.Editor");
    auto browser = shell.window("org.example.Browser");

    test::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    test::ManualDelay delay;
    const auto choose = [&] {
        return makeApplicationActivations(
            ApplicationActivationsParts{SessionType::wayland,
                                        WaylandConnection::open(shell.socketPath().string(), delay, 5),
                                        *connection,
                                        {}});
    };
    const auto version = gnomeShellMajorVersion(*connection);
    ASSERT_TRUE(version.has_value());
    {
        // Not turned on yet: the chooser says which extension would show the switches, and how.
        test::CapturedSystemLog log;
        auto unseen = choose();
        ASSERT_TRUE(test::spinUntil([&] { return unseen->gap().nativeWindowsUnseen; }));
        EXPECT_EQ(unseen->gap().extensionToTurnOn, gnomeFocusExtension(*version));
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines.front().find("gnome-extensions enable " + gnomeFocusExtension(*version) +
                                         ", then log in again"),
                  std::string::npos)
            << log.lines.front();
    }
    ASSERT_TRUE(enable(connection, gnomeFocusExtension(*version)));
    // The shell runs the form of the tests' switcher made for it, and leaves the other out of date.
    for (const char* switcher : {"focus-switcher@tests.quillfen.org", "focus-switcher-43@tests.quillfen.org"})
        ASSERT_TRUE(enable(connection, switcher));
    // The person brings a window to the front; the shell tells once it is there. Both windows have
    // been in front before the count starts, so the focus the shell gives a new window is behind us.
    const auto focus = [&](const QString& application) {
        connection.ask(kShell, QStringLiteral("/org/quillfen/Test/FocusSwitcher"),
                       QStringLiteral("org.quillfen.Test.FocusSwitcher"), QStringLiteral("Focus"),
                       {application});
    };
    const auto focused = [&] {
        return connection
            .ask(kShell, QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                 QStringLiteral("FocusedApplication"))
            .arguments()
            .value(0)
            .toString();
    };
    const QString applications[] = {QStringLiteral("org.example.Editor"),
                                    QStringLiteral("org.example.Browser")};
    for (const QString& application : applications) {
        ASSERT_TRUE(test::spinUntil([&] {
            focus(application);
            return test::spinUntil([&] { return focused() == application; }, std::chrono::milliseconds(200));
        }));
    }

    test::CapturedSystemLog log;
    auto activations = choose();
    ASSERT_TRUE(test::spinUntil([&] { return !log.lines.empty(); }));
    EXPECT_EQ(activations->gap(), ApplicationActivations::Gap{});
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             "sensing: application switches come from Quillfen's GNOME Shell extension"});
    int count = 0;
    auto subscription = activations->subscribe([&] { ++count; });
    for (int i = 0; i < 20; ++i) {
        focus(applications[i % 2]);
        ASSERT_TRUE(test::spinUntil([&] { return count > i; })) << i;
    }
    test::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(count, 20);
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

}  // namespace
}  // namespace quillfen
