#include "BenchDesktop.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "BenchApplication.h"
#include "WindowChrome.h"
#include "support/QtTestSupport.h"

namespace quillfen::bench {

namespace {

// The bus connection needs the application object.
QString connectionName() {
    ensureApplication();
    static std::atomic<int> made{0};
    return QStringLiteral("quillfen-bench-desktop-%1").arg(made++);
}

}  // namespace

BenchDesktop::BenchDesktop(bool windowManager)
    : tray_(privateBus_, "status_notifier_watcher"),
      name_(connectionName()),
      connection_(QDBusConnection::connectToBus(QString::fromStdString(privateBus_.address()), name_)) {
    if (windowManager) windowManager_.emplace(display_.name());
}

BenchDesktop::~BenchDesktop() {
    QDBusConnection::disconnectFromBus(name_);
}

std::string BenchDesktop::problem() const {
    if (windowManager_ && !windowManager_->problem().empty()) return windowManager_->problem();
    return connection_.isConnected() ? "" : "the private bus does not answer";
}

std::map<std::string, std::string> BenchDesktop::environment() const {
    return {
        {"DISPLAY", display_.name()},
        {"DBUS_SESSION_BUS_ADDRESS", privateBus_.address()},
        {"DBUS_SYSTEM_BUS_ADDRESS", privateBus_.address()},
        {"XDG_RUNTIME_DIR", runtime_.path().string()},
        {"XDG_SESSION_TYPE", "x11"},
        {"QT_QPA_PLATFORM", "xcb"},
        {"TAVRYN_LOCATION_MODE", "none"},
    };
}

bool BenchDesktop::applicationAnswers(std::chrono::milliseconds patience) {
    return test::waitUntil([&] { return test::applicationAnswers(connection_); }, patience);
}

unsigned long BenchDesktop::rhythmWindow() const {
    const auto title = WindowChrome::rhythm(false).title.toStdString();
    test::ChildProcess search({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"},
                              {{"DISPLAY", display_.name()}}, STDOUT_FILENO);
    return std::strtoul(search.readRest().c_str(), nullptr, 10);
}

bool BenchDesktop::xdotool(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{"/usr/bin/xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    test::ChildProcess run(command, {{"DISPLAY", display_.name()}});
    return run.endsWell();
}

}  // namespace quillfen::bench
