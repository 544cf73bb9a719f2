#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>

#include "Support/SystemLog.h"
#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/FrontmostApplication.h"

namespace quillfen {

namespace {

const QString kShell = QStringLiteral("org.gnome.Shell");
constexpr int kCallTimeoutMs = 1000;

QDBusMessage callShell(const QDBusConnection& bus, const QString& path, const QString& interface,
                       const QString& method, const QVariantList& arguments = {}) {
    auto message = QDBusMessage::createMethodCall(kShell, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

class GnomeShellApplicationActivations final : public QObject, public ApplicationActivations {
    Q_OBJECT

public:
    explicit GnomeShellApplicationActivations(QDBusConnection bus) : bus_(std::move(bus)) {}

    // Listens to the extension, and takes what has the focus now; false when the extension
    // does not answer (not installed, or not turned on).
    bool start() {
        // Only the shell's own connection is heard, whoever else sends such a signal.
        bus_.connect(kShell, QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                     QStringLiteral("FocusChanged"), this, SLOT(focusChanged(QString)));
        const QDBusMessage reply =
            callShell(bus_, QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                      QStringLiteral("FocusedApplication"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
        frontmost_.startWith(reply.arguments().front().toString().toStdString());
        SystemLog::info("sensing", "application switches come from Quillfen's GNOME Shell extension");
        return true;
    }

    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }

private slots:
    void focusChanged(const QString& application) {
        if (frontmost_.switchesTo(application.toStdString())) listeners_.notify();
    }

private:
    QDBusConnection bus_;
    FrontmostApplication frontmost_;
    ListenerList<> listeners_;
};

}  // namespace

std::optional<int> gnomeShellMajorVersion(const QDBusConnection& sessionBus) {
    if (!sessionBus.isConnected()) return std::nullopt;
    const QDBusMessage reply = callShell(sessionBus, QStringLiteral("/org/gnome/Shell"),
                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                         QStringLiteral("Get"), {kShell, QStringLiteral("ShellVersion")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return std::nullopt;
    const QString version = reply.arguments().front().value<QDBusVariant>().variant().toString();
    bool number = false;
    const int major = version.section(QLatin1Char('.'), 0, 0).toInt(&number);
    if (!number) return std::nullopt;
    return major;
}

std::string gnomeFocusExtension(int shellMajorVersion) {
    return shellMajorVersion >= 45 ? "quillfen-focus@quillfen.org" : "quillfen-focus-43@quillfen.org";
}

std::unique_ptr<ApplicationActivations> makeGnomeShellApplicationActivations(
    const QDBusConnection& sessionBus) {
    if (!sessionBus.isConnected()) return nullptr;
    auto activations = std::make_unique<GnomeShellApplicationActivations>(sessionBus);
    if (!activations->start()) return nullptr;
    return activations;
}

}  // namespace quillfen

#include "GnomeShellApplicationActivationsLinux.moc"
