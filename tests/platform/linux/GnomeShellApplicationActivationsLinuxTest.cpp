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
#include "support/ShellWithExtensions.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;

using test::enable;
using test::kShell;
using test::ShellWithExtensions;

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

// Extensions turned on one right after another are each on once, and one turned off is off: no
// second copy of it failed beside the first and left it reporting.
TEST(GnomeShellApplicationActivations, ExtensionsTurnedOnOneAfterAnotherAreEachOnceOnAndOffWhenTurnedOff) {
    ShellWithExtensions session;
    if (auto failure = session.start()) GTEST_SKIP() << *failure;
    auto& connection = *session.connection;
    const std::string extension = gnomeFocusExtension(*session.version);
    const std::string switcher =
        *session.version >= 45 ? "focus-switcher@tests.quillfen.org" : "focus-switcher-43@tests.quillfen.org";
    ASSERT_TRUE(session.turnOnTheSwitcher());
    ASSERT_TRUE(enable(connection, extension));
    EXPECT_EQ(test::extensionState(connection, switcher), test::kExtensionOn);
    EXPECT_EQ(test::extensionState(connection, extension), test::kExtensionOn);

    ASSERT_TRUE(test::turnExtension(connection, extension, false));
    EXPECT_EQ(test::extensionState(connection, extension), test::kExtensionOff);
    const auto reporter =
        connection.ask(kShell, QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                       QStringLiteral("FocusedApplication"));
    EXPECT_EQ(reporter.type(), QDBusMessage::ErrorMessage) << "it still reports";
}

// The shell finds an extension installed since the login only at the next one, and the person turns
// it on after that, with the application running: its switches count from then on, with no start
// of the application again; turned off, they are the gap again.
TEST(GnomeShellApplicationActivations, TheExtensionTurnedOnWhileTheApplicationRunsIsCountedFromThenOn) {
    ShellWithExtensions session;
    if (auto failure = session.start()) GTEST_SKIP() << *failure;
    auto& connection = *session.connection;
    const std::string extension = gnomeFocusExtension(*session.version);
    // Ours tells the tests when both windows have been in front; then it goes off again.
    ASSERT_TRUE(session.turnOnTheSwitcher());
    ASSERT_TRUE(enable(connection, extension));
    ASSERT_TRUE(session.bothWindowsShown());
    ASSERT_TRUE(test::turnExtension(connection, extension, false));
    auto activations = session.choose();
    // Each change of what it can show is told as it comes, for the person to read at once: the
    // source chosen (the compositor listed), the extension turned on, and off.
    std::vector<ApplicationActivations::Gap> told;
    auto subscription = activations->subscribeToGap([&] { told.push_back(activations->gap()); });
    const ApplicationActivations::Gap off{true, extension};
    ASSERT_TRUE(test::spinUntil([&] { return told.size() == 1; }));
    EXPECT_EQ(told.back(), off);

    ASSERT_TRUE(enable(connection, extension));
    EXPECT_TRUE(test::spinUntil([&] { return told.size() == 2; }));
    EXPECT_EQ(activations->gap(), ApplicationActivations::Gap{});
    EXPECT_EQ(session.countOfTwentySwitches(*activations), 20);

    ASSERT_TRUE(test::turnExtension(connection, extension, false));
    EXPECT_TRUE(test::spinUntil([&] { return told.size() == 3; }));
    EXPECT_EQ(told, (std::vector<ApplicationActivations::Gap>{off, {}, off}));
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
