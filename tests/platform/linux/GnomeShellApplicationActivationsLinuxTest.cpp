#include <gtest/gtest.h>

#include <QDBusMessage>

#include <filesystem>

#include "platform/linux/ApplicationActivationsLinux.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/Compositors.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::BusConnection;
using test::PrivateBus;

const QString kShell = QStringLiteral("org.gnome.Shell");

QDBusMessage callShell(BusConnection& bus, const QString& path, const QString& interface, const QString& method,
                       const QVariantList& arguments = {}) {
    auto message = QDBusMessage::createMethodCall(kShell, path, interface, method);
    message.setArguments(arguments);
    return bus->call(message, QDBus::Block, 5000);
}

bool enable(BusConnection& bus, const std::string& uuid) {
    const auto reply = callShell(bus, QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell.Extensions"),
                                 QStringLiteral("EnableExtension"), {QString::fromStdString(uuid)});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

// Both forms of the application's extension and the tests' own, where a shell looks for them.
void installExtensions(const fs::path& dataFolder) {
    const auto extensions = dataFolder / "gnome-shell" / "extensions";
    fs::create_directories(extensions);
    for (const fs::path from : {QUILLFEN_GNOME_EXTENSIONS, QUILLFEN_TEST_GNOME_EXTENSIONS})
        fs::copy(from, extensions, fs::copy_options::recursive);
}

TEST(GnomeShellApplicationActivations, CountsTheFocusChangesTheExtensionReportsOnceItIsTurnedOn) {
    test::TestHome home;
    PrivateBus bus;
    test::TempDir data;
    installExtensions(data.path());
    test::HeadlessGnomeShell shell(bus, data.path());
    if (!shell.unavailable().empty()) GTEST_SKIP() << shell.unavailable();
    BusConnection connection(bus);
    ASSERT_TRUE(test::spinUntil([&] {
        return callShell(connection, QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell.Extensions"),
                         QStringLiteral("ListExtensions"))
                   .type() == QDBusMessage::ReplyMessage;
    }));
    test::ChildProcess windows({QUILLFEN_NATIVE_WINDOWS, "org.example.Editor", "org.example.Browser"},
                               shell.clientEnvironment(), 3);
    ASSERT_EQ(windows.readLine(), "ready");

    EXPECT_EQ(makeGnomeShellApplicationActivations(*connection), nullptr) << "the extension is not turned on yet";
    const auto version = gnomeShellMajorVersion(*connection);
    ASSERT_TRUE(version.has_value());
    ASSERT_TRUE(enable(connection, gnomeFocusExtension(*version)));
    ASSERT_TRUE(enable(connection, "focus-switcher@tests.quillfen.org"));
    // The shell gives a new window the focus a moment after it is shown.
    ASSERT_TRUE(test::spinUntil([&] {
        const auto reply = callShell(connection, QString::fromUtf8(kGnomeFocusPath),
                                     QString::fromUtf8(kGnomeFocusInterface), QStringLiteral("FocusedApplication"));
        return reply.arguments().value(0).toString() == QStringLiteral("org.example.Browser");
    }));

    test::CapturedSystemLog log;
    auto activations = makeGnomeShellApplicationActivations(*connection);
    ASSERT_NE(activations, nullptr);
    EXPECT_EQ(log.lines, std::vector<std::string>{"sensing: application switches come from Quillfen's GNOME Shell extension"});
    int count = 0;
    auto subscription = activations->subscribe([&] { ++count; });
    callShell(connection, QStringLiteral("/org/quillfen/Test/FocusSwitcher"), QStringLiteral("org.quillfen.Test.FocusSwitcher"),
              QStringLiteral("Switch"), {20});
    EXPECT_TRUE(test::spinUntil([&] { return count >= 20; })) << count;
    test::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(count, 20);
}

}  // namespace
}  // namespace quillfen
