#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>

#include <string>

#include "Support/PathWalk.h"
#include "Support/SystemLog.h"
#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/FrontmostApplication.h"

namespace quillfen {

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScriptingPath = QStringLiteral("/Scripting");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");
constexpr const char* kCategory = "sensing";
constexpr int kCallTimeoutMs = 1000;

// Runs inside KWin. It names the application behind each window that becomes active, by the
// application's class and nothing else of the window: neither its title nor what it shows.
// KWin 6 calls the client a window.
constexpr const char* kScript = R"js(
const service = "@SERVICE@", path = "@PATH@", iface = "@INTERFACE@";
const activated = workspace.windowActivated || workspace.clientActivated;
const active = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
function applicationOf(window) {
    return window ? String(window.resourceClass || "") || "window:" + window.internalId : "";
}
callDBus(service, path, iface, "Started", applicationOf(active));
activated.connect(function (window) {
    if (window) callDBus(service, path, iface, "Activated", applicationOf(window));
});
)js";

// The script's text, for the connection the script is to call. KWin reads a script only from a
// file, and nothing of ours is written to disk for it: the file lives in memory, and KWin, run as
// the same user, reads it through this process's descriptor.
class ScriptInMemory {
public:
    explicit ScriptInMemory(const QString& service)
        : fd_(::memfd_create("quillfen-activations.js", MFD_CLOEXEC)) {
        QString text = QString::fromUtf8(kScript);
        text.replace(QStringLiteral("@SERVICE@"), service)
            .replace(QStringLiteral("@PATH@"), QString::fromUtf8(kKWinActivationsPath))
            .replace(QStringLiteral("@INTERFACE@"), QString::fromUtf8(kKWinActivationsInterface));
        if (fd_ >= 0 && !PathWalk::writeAll(fd_, text.toStdString())) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ScriptInMemory() {
        if (fd_ >= 0) ::close(fd_);
    }
    ScriptInMemory(const ScriptInMemory&) = delete;
    ScriptInMemory& operator=(const ScriptInMemory&) = delete;

    // Where another process of this user reads it; empty when it could not be made.
    QString path() const {
        if (fd_ < 0) return {};
        return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fd_);
    }

private:
    int fd_;
};

class KWinApplicationActivations final : public QObject,
                                         public ApplicationActivations,
                                         protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quillfen.Quillfen.Activations")

public:
    explicit KWinApplicationActivations(QDBusConnection bus)
        : bus_(std::move(bus)), script_(bus_.baseService()), watcher_(kKWin, bus_) {
        // A KWin started again (after a crash) has lost the script.
        connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { load(); });
        // At quit, not only when this goes: a quit that ends the process early skips the
        // destructors, and KWin would keep a script that calls nobody.
        if (auto* application = QCoreApplication::instance())
            connect(application, &QCoreApplication::aboutToQuit, this, [this] { unload(); });
    }

    ~KWinApplicationActivations() override { unload(); }

    // Puts the receiving object on the bus and has KWin run the script; false, and logged,
    // when KWin would not.
    bool start() {
        if (!bus_.registerObject(QString::fromUtf8(kKWinActivationsPath), this,
                                 QDBusConnection::ExportScriptableSlots)) {
            SystemLog::notice(kCategory, "could not put the object KWin's script calls on the session bus");
            return false;
        }
        registered_ = true;
        return load();
    }

    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }

public slots:
    Q_SCRIPTABLE void Started(const QString& application) {
        if (!fromKWin()) return;
        frontmost_.startWith(application.toStdString());
        if (!startedLogged_) SystemLog::info(kCategory, "application switches come from KWin's script");
        startedLogged_ = true;
    }

    Q_SCRIPTABLE void Activated(const QString& application) {
        if (fromKWin() && frontmost_.switchesTo(application.toStdString())) listeners_.notify();
    }

private:
    bool load() {
        loaded_ = false;
        const QString path = script_.path();
        if (path.isEmpty()) {
            SystemLog::notice(kCategory,
                              "could not make KWin's script in memory: application switches are not seen");
            return false;
        }
        kwin_ = bus_.interface()->serviceOwner(kKWin).value();
        // A copy that ended without its quit left its script loaded under the same name.
        call(QStringLiteral("unloadScript"), {QString::fromUtf8(kKWinScriptName)});
        const QDBusMessage reply =
            call(QStringLiteral("loadScript"), {path, QString::fromUtf8(kKWinScriptName)});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1 ||
            reply.arguments().front().toInt() < 0) {
            SystemLog::notice(kCategory, "KWin did not load the script that tells application switches: " +
                                             reply.errorMessage().toStdString());
            return false;
        }
        call(QStringLiteral("start"), {});
        loaded_ = true;
        return true;
    }

    void unload() {
        if (loaded_) call(QStringLiteral("unloadScript"), {QString::fromUtf8(kKWinScriptName)});
        loaded_ = false;
        if (registered_) bus_.unregisterObject(QString::fromUtf8(kKWinActivationsPath));
        registered_ = false;
    }

    QDBusMessage call(const QString& method, const QVariantList& arguments) {
        auto message = QDBusMessage::createMethodCall(kKWin, kScriptingPath, kScripting, method);
        message.setArguments(arguments);
        return bus_.call(message, QDBus::Block, kCallTimeoutMs);
    }

    // Only KWin tells what comes to the front: another program on the bus counts nothing.
    bool fromKWin() const { return !kwin_.isEmpty() && message().service() == kwin_; }

    QDBusConnection bus_;
    ScriptInMemory script_;
    QDBusServiceWatcher watcher_;
    QString kwin_;
    bool registered_ = false;
    bool loaded_ = false;
    bool startedLogged_ = false;
    FrontmostApplication frontmost_;
    ListenerList<> listeners_;
};

}  // namespace

std::unique_ptr<ApplicationActivations> makeKWinApplicationActivations(const QDBusConnection& sessionBus) {
    if (!sessionBus.isConnected() || !sessionBus.interface()->isServiceRegistered(kKWin).value())
        return nullptr;
    auto activations = std::make_unique<KWinApplicationActivations>(sessionBus);
    if (!activations->start()) return nullptr;
    return activations;
}

}  // namespace quillfen

#include "KWinApplicationActivationsLinux.moc"
