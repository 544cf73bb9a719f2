#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>

#include "Support/SystemLog.h"
#include "platform/linux/ApplicationActivationsLinux.h"
#include "platform/linux/FrontmostApplication.h"

namespace quillfen {

namespace {

const QString kShell = QStringLiteral("org.gnome.Shell");
const QString kShellPath = QStringLiteral("/org/gnome/Shell");
const QString kExtensionsInterface = QStringLiteral("org.gnome.Shell.Extensions");
// Where no shell (or no extension) is there the answer comes at once; a shell that is there but busy
// (a login's first seconds, a loaded machine) is waited for, or the session would be taken for one
// that is not GNOME's, or the extension just turned on for one that is off, until the next change.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage shellCall(const QString& path, const QString& interface, const QString& method,
                       const QVariantList& arguments = {}) {
    auto message = QDBusMessage::createMethodCall(kShell, path, interface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage focusedApplicationCall() {
    return shellCall(QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                     QStringLiteral("FocusedApplication"));
}

// What has the focus as the extension's answer says; nothing where it did not answer.
std::optional<QString> focusedIn(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return std::nullopt;
    return reply.arguments().front().toString();
}

// The extension turned on and off while the application runs: the shell finds a newly installed
// extension only at the next login, and the person turns it on after that, so the source listens
// for it all along rather than asking once at start. While it is off, the switches come from the
// source it stands in for (the X11 windows, through Xwayland), and the gap says which extension
// would show the rest.
class GnomeShellApplicationActivations final : public QObject, public ApplicationActivations {
    Q_OBJECT

public:
    GnomeShellApplicationActivations(QDBusConnection bus, std::string extension,
                                     std::unique_ptr<ApplicationActivations> meanwhile)
        : bus_(std::move(bus)), extension_(std::move(extension)), meanwhile_(std::move(meanwhile)) {
        // Only the shell's own connection is heard, whoever else sends such a signal.
        bus_.connect(kShell, QString::fromUtf8(kGnomeFocusPath), QString::fromUtf8(kGnomeFocusInterface),
                     QStringLiteral("FocusChanged"), this, SLOT(focusChanged(QString)));
        bus_.connect(kShell, kShellPath, kExtensionsInterface, QStringLiteral("ExtensionStateChanged"), this,
                     SLOT(extensionStateChanged(QString, QVariantMap)));
        forward_ = meanwhile_->subscribe([this] {
            if (!on_) listeners_.notify();
        });
        answered(focusedIn(bus_.call(focusedApplicationCall(), QDBus::Block, kCallTimeoutMs)));
    }

    Subscription subscribe(std::function<void()> onActivation) override {
        return listeners_.add(std::move(onActivation));
    }

    Gap gap() const override {
        if (on_) return {};
        return {true, extension_};
    }

    Subscription subscribeToGap(std::function<void()> onChange) override {
        return gapListeners_.add(std::move(onChange));
    }

private slots:
    void focusChanged(const QString& application) {
        // Heard only from a reporter that is on, whatever the shell said before.
        if (!on_) answered(QString());
        if (frontmost_.switchesTo(application.toStdString())) listeners_.notify();
    }

    void extensionStateChanged(const QString& uuid, const QVariantMap&) {
        if (uuid.toStdString() != extension_) return;
        // Whether it reports now is what counts, whatever state the shell names.
        auto* watcher =
            new QDBusPendingCallWatcher(bus_.asyncCall(focusedApplicationCall(), kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            answered(focusedIn(call->reply()));
        });
    }

private:
    // What has the focus as the extension answers, or nothing when it does not.
    void answered(const std::optional<QString>& focused) {
        const bool on = focused.has_value();
        if (on && !focused->isEmpty()) frontmost_.startWith(focused->toStdString());
        if (known_ && on == on_) return;
        const bool changed = known_;
        known_ = true;
        on_ = on;
        if (on) {
            SystemLog::info("sensing", "application switches come from Quillfen's GNOME Shell extension");
        } else {
            SystemLog::info(
                "sensing",
                "application switches between native windows are not seen on this desktop, only "
                "those between X11 windows; the GNOME Shell extension that shows them is off (log "
                "in again once it is installed, then gnome-extensions enable " +
                    extension_ + ")");
        }
        if (changed) gapListeners_.notify();
    }

    QDBusConnection bus_;
    std::string extension_;
    std::unique_ptr<ApplicationActivations> meanwhile_;
    Subscription forward_;
    bool known_ = false;
    bool on_ = false;
    FrontmostApplication frontmost_;
    ListenerList<> listeners_;
    ListenerList<> gapListeners_;
};

}  // namespace

std::optional<int> gnomeShellMajorVersion(const QDBusConnection& sessionBus) {
    if (!sessionBus.isConnected()) return std::nullopt;
    const QDBusMessage reply =
        sessionBus.call(shellCall(kShellPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                  QStringLiteral("Get"), {kShell, QStringLiteral("ShellVersion")}),
                        QDBus::Block, kCallTimeoutMs);
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
    const QDBusConnection& sessionBus, std::unique_ptr<ApplicationActivations> meanwhile) {
    const auto version = gnomeShellMajorVersion(sessionBus);
    if (!version) return nullptr;
    return std::make_unique<GnomeShellApplicationActivations>(sessionBus, gnomeFocusExtension(*version),
                                                              std::move(meanwhile));
}

}  // namespace quillfen

#include "GnomeShellApplicationActivationsLinux.moc"
