#include <gtest/gtest.h>

#include <QDBusMessage>

#include "platform/linux/ApplicationActivationsLinux.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/HeadlessCompositor.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

using test::BusConnection;

const QString kKWin = QStringLiteral("org.kde.KWin");

QDBusMessage scripting(BusConnection& bus, const QString& method, const QVariantList& arguments = {}) {
    return bus.ask(kKWin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), method,
                   arguments);
}

bool ourScriptLoaded(BusConnection& bus) {
    const auto reply = scripting(bus, QStringLiteral("isScriptLoaded"), {QString::fromUtf8(kKWinScriptName)});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

// The person, played by a script of the test's own: it brings the two windows to the front by
// turns, starting with the one behind. KWin 6 calls the client a window.
constexpr const char* kSwitcher = R"js(
const six = workspace.activeWindow !== undefined;
const active = six ? "activeWindow" : "activeClient";
const windows = (six ? workspace.windowList() : workspace.clientList())
    .filter(w => String(w.resourceClass).toLowerCase().startsWith("org.example."));
if (windows[0] === workspace[active]) windows.reverse();
for (let i = 0; i < 20; ++i) workspace[active] = windows[i % 2];
)js";

TEST(KWinApplicationActivations, CountsWhatKWinsScriptReportsAndTheScriptGoesAtQuit) {
    test::TestHome home;
    // KWin runs as this run's user: the script in this process's memory is read by it.
    test::HeadlessCompositor kwin(test::HeadlessCompositor::Kind::kwin);
    if (auto failure = kwin.start()) GTEST_SKIP() << *failure;
    BusConnection connection(kwin.bus());
    ASSERT_TRUE(test::spinUntil([&] {
        return scripting(connection, QStringLiteral("isScriptLoaded"), {QStringLiteral("none")}).type() ==
               QDBusMessage::ReplyMessage;
    }));
    auto editor = kwin.window("org.example.Editor");
    auto browser = kwin.window("org.example.Browser");

    test::CapturedSystemLog log;
    // KWin offers no list of windows: the chooser asks it next.
    auto activations = makeApplicationActivations(
        ApplicationActivationsParts{SessionType::wayland, nullptr, *connection, {}});
    int count = 0;
    auto subscription = activations->subscribe([&] { ++count; });
    EXPECT_TRUE(ourScriptLoaded(connection));
    const std::string started = "sensing: application switches come from KWin's script";
    ASSERT_TRUE(test::spinUntil([&] { return !log.lines.empty(); }));
    EXPECT_EQ(log.lines, std::vector<std::string>{started});

    // Another program on the bus that calls the object counts nothing.
    auto forged = QDBusMessage::createMethodCall(
        connection->baseService(), QString::fromUtf8(kKWinActivationsPath),
        QString::fromUtf8(kKWinActivationsInterface), QStringLiteral("Activated"));
    BusConnection other(kwin.bus());
    forged.setArguments({QStringLiteral("org.example.Forged")});
    other->send(forged);

    test::TempDir folder;
    test::writeFile(folder.path() / "switcher.js", kSwitcher);
    scripting(connection, QStringLiteral("loadScript"),
              {QString::fromStdString((folder.path() / "switcher.js").string()), QStringLiteral("switcher")});
    scripting(connection, QStringLiteral("start"));
    EXPECT_TRUE(test::spinUntil([&] { return count >= 20; })) << count;
    test::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(count, 20);

    activations.reset();
    EXPECT_FALSE(ourScriptLoaded(connection));
}

}  // namespace
}  // namespace quillfen
