#include "platform/linux/DesktopNotificationsLinux.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "Support/Paths.h"
#include "Support/SystemLog.h"

namespace quillfen {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = kService;
const QString kAppName = QStringLiteral("Quillfen");
// A service that takes longer than this is treated as absent for that call.
constexpr int kCallTimeoutMs = 3000;

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

class LinuxDesktopNotifications final : public QObject, public DesktopNotifications {
    Q_OBJECT

public:
    explicit LinuxDesktopNotifications(QDBusConnection bus) : bus_(std::move(bus)) {
        bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
        bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(notificationClosed(uint, uint)));
    }

    void probe(std::function<void(std::optional<ServerInfo>)> answer) override {
        auto info = call(QStringLiteral("GetServerInformation"), {});
        auto capabilities = std::make_shared<std::optional<QStringList>>();
        // Both answers are needed; they arrive in the order asked.
        whenAnswered(call(QStringLiteral("GetCapabilities"), {}),
                     [capabilities](const QDBusMessage& reply) {
                         if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                             *capabilities = reply.arguments().front().toStringList();
                     });
        whenAnswered(info, [capabilities, answer = std::move(answer)](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                answer(std::nullopt);
                return;
            }
            ServerInfo server;
            server.name = reply.arguments().front().toString().toStdString();
            server.actions = capabilities->has_value() && (*capabilities)->contains(QStringLiteral("actions"));
            answer(server);
        });
    }

    void notify(const NotificationRequest& request,
                std::function<void(std::optional<std::uint32_t>)> posted) override {
        QStringList actions;
        for (const auto& [key, label] : request.actions)
            actions << q(key) << q(label);
        QVariantMap hints;
        if (request.silent) hints.insert(QStringLiteral("suppress-sound"), true);
        // Ties the notification to the application's desktop entry, so the desktop's own
        // per-application notification switch applies to it.
        hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(Paths::kAppId));
        QVariantList arguments{kAppName,      uint(0), QString(), q(request.title), q(request.body),
                               actions,       hints,   int(-1)};
        whenAnswered(call(QStringLiteral("Notify"), arguments),
                     [posted = std::move(posted)](const QDBusMessage& reply) {
                         if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                             posted(reply.arguments().front().toUInt());
                         } else {
                             posted(std::nullopt);
                         }
                     });
    }

    Subscription subscribe(NotificationEventHandlers handlers) override {
        return listeners_.add(std::move(handlers));
    }

private slots:
    void actionInvoked(uint id, const QString& key) { listeners_.actionInvoked(id, key.toStdString()); }
    void notificationClosed(uint id, uint /*reason*/) { listeners_.closed(id); }

private:
    struct Listeners {
        Subscription add(NotificationEventHandlers handlers) {
            return list.add([handlers = std::move(handlers)](std::uint32_t id, const std::string* key) {
                if (key != nullptr) {
                    if (handlers.actionInvoked) handlers.actionInvoked(id, *key);
                } else if (handlers.closed) {
                    handlers.closed(id);
                }
            });
        }
        void actionInvoked(std::uint32_t id, const std::string& key) const { list.notify(id, &key); }
        void closed(std::uint32_t id) const { list.notify(id, nullptr); }
        ListenerList<std::uint32_t, const std::string*> list;
    };

    QDBusPendingCall call(const QString& method, const QVariantList& arguments) {
        auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
        message.setArguments(arguments);
        return bus_.asyncCall(message, kCallTimeoutMs);
    }

    void whenAnswered(const QDBusPendingCall& pending, std::function<void(const QDBusMessage&)> done) {
        // Without a bus the call never finishes by itself: it is answered as refused, later,
        // as every answer comes.
        if (!bus_.isConnected()) {
            QMetaObject::invokeMethod(
                this,
                [this, done = std::move(done)] {
                    QDBusMessage refused = QDBusMessage::createError(
                        QDBusError::Disconnected, QStringLiteral("no session bus"));
                    noteMissing(refused);
                    done(refused);
                },
                Qt::QueuedConnection);
            return;
        }
        auto* watcher = new QDBusPendingCallWatcher(pending, this);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                         [this, watcher, done = std::move(done)] {
                             watcher->deleteLater();
                             QDBusMessage reply = watcher->reply();
                             noteMissing(reply);
                             done(reply);
                         });
    }

    void noteMissing(const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage || missingLogged_) return;
        missingLogged_ = true;
        SystemLog::info("notifications", "no notification service answers (" + reply.errorName().toStdString() +
                                             "): a nudge shows only in the panel, which a click on the stone in "
                                             "the tray opens");
    }

    QDBusConnection bus_;
    Listeners listeners_;
    bool missingLogged_ = false;
};

}  // namespace

std::unique_ptr<DesktopNotifications> makeDesktopNotifications(const QDBusConnection& bus) {
    return std::make_unique<LinuxDesktopNotifications>(bus);
}

std::unique_ptr<DesktopNotifications> makeDesktopNotifications() {
    return makeDesktopNotifications(QDBusConnection::sessionBus());
}

}  // namespace quillfen

#include "DesktopNotificationsLinux.moc"
