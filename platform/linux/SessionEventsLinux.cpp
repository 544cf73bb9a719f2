#include "platform/linux/SessionEventsLinux.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace quillfen {

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLoginSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kCallTimeoutMs = 1000;

class LinuxSessionEvents final : public QObject, public SessionEvents {
    Q_OBJECT

public:
    LinuxSessionEvents(QDBusConnection systemBus, QDBusConnection sessionBus, const QString& sessionId)
        : systemBus_(std::move(systemBus)), sessionBus_(std::move(sessionBus)) {
        systemBus_.connect(kLogin, kLoginPath, kLoginManager, QStringLiteral("PrepareForSleep"), this,
                           SLOT(prepareForSleep(bool)));
        QString sessionPath = findSession(sessionId);
        if (!sessionPath.isEmpty()) {
            systemBus_.connect(kLogin, sessionPath, kLoginSession, QStringLiteral("Lock"), this,
                               SLOT(lock()));
            systemBus_.connect(kLogin, sessionPath, kLoginSession, QStringLiteral("Unlock"), this,
                               SLOT(unlock()));
            systemBus_.connect(kLogin, sessionPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                               SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
        }
        // GNOME's shell speaks its own name for the same interface.
        for (const QString& name :
             {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver")}) {
            sessionBus_.connect(name, QString(), name, QStringLiteral("ActiveChanged"), this,
                                SLOT(screenSaverActiveChanged(bool)));
        }
    }

    Subscription subscribe(SessionEventHandlers handlers) override {
        return listeners_.add(std::move(handlers));
    }

private slots:
    // Sent with true just before the machine sleeps and with false once it is back.
    void prepareForSleep(bool sleeping) {
        if (!sleeping) listeners_.wokeFromSleep();
    }

    void lock() { listeners_.sessionLocked(true); }
    void unlock() { listeners_.sessionLocked(false); }

    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface != kLoginSession) return;
        auto hint = changed.find(QStringLiteral("LockedHint"));
        if (hint != changed.end() && hint->metaType() == QMetaType::fromType<bool>()) {
            listeners_.sessionLocked(hint->toBool());
        }
    }

    void screenSaverActiveChanged(bool active) { listeners_.screensAsleep(active); }

private:
    // The session's object path, or empty when the login manager does not know it. "auto"
    // names the caller's own session.
    QString findSession(const QString& sessionId) {
        for (const QString& id : {sessionId, QStringLiteral("auto")}) {
            if (id.isEmpty()) continue;
            auto call = QDBusMessage::createMethodCall(kLogin, kLoginPath, kLoginManager,
                                                       QStringLiteral("GetSession"));
            call << id;
            QDBusMessage reply = systemBus_.call(call, QDBus::Block, kCallTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
                auto path = reply.arguments().front().value<QDBusObjectPath>().path();
                if (!path.isEmpty()) return path;
            }
        }
        return {};
    }

    QDBusConnection systemBus_;
    QDBusConnection sessionBus_;
    SessionEventListeners listeners_;
};

}  // namespace

std::unique_ptr<SessionEvents> makeSessionEvents(const QDBusConnection& systemBus,
                                                 const QDBusConnection& sessionBus,
                                                 const QString& sessionId) {
    return std::make_unique<LinuxSessionEvents>(systemBus, sessionBus, sessionId);
}

std::unique_ptr<SessionEvents> makeSessionEvents() {
    return makeSessionEvents(QDBusConnection::systemBus(), QDBusConnection::sessionBus(),
                             qEnvironmentVariable("XDG_SESSION_ID"));
}

}  // namespace quillfen

#include "SessionEventsLinux.moc"
