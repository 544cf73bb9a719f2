#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QStringList>

#include <vector>

#include "support/QtTestSupport.h"

namespace quillfen::test {

// What a notification daemon mocked by dbusmock ("notification_daemon") was asked to show.
struct NotifyCall {
    QString summary;
    QString body;
    uint replacesId = 0;
    QStringList actions;
    bool silent = false;
    QString desktopEntry;
};

inline const QString kNotificationsService = QStringLiteral("org.freedesktop.Notifications");
inline const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
inline const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// The daemon's own record of the Notify calls, oldest first.
inline std::vector<NotifyCall> notifyCalls(BusConnection& bus) {
    QDBusMessage reply = bus.call(kNotificationsService, kNotificationsPath, kMockInterface,
                                  QStringLiteral("GetMethodCalls"), {QStringLiteral("Notify")});
    std::vector<NotifyCall> calls;
    const auto list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        list.beginStructure();
        qulonglong when = 0;
        list >> when;
        QVariantList args;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant value;
            list >> value;
            args << value.variant();
        }
        list.endArray();
        list.endStructure();
        NotifyCall call;
        call.replacesId = args.value(1).toUInt();
        call.summary = args.value(3).toString();
        call.body = args.value(4).toString();
        call.actions = args.value(5).toStringList();
        QVariantMap hints;
        args.value(6).value<QDBusArgument>() >> hints;
        call.silent = hints.value(QStringLiteral("suppress-sound")).toBool();
        call.desktopEntry = hints.value(QStringLiteral("desktop-entry")).toString();
        calls.push_back(call);
    }
    list.endArray();
    return calls;
}

// A signal from the daemon, as if the user had answered a notification.
inline void emitFromNotificationDaemon(BusConnection& bus, const QString& name, const QString& signature,
                                       const QVariantList& args) {
    bus.call(kNotificationsService, kNotificationsPath, kMockInterface, QStringLiteral("EmitSignal"),
             {kNotificationsService, name, signature, args});
}

}  // namespace quillfen::test
