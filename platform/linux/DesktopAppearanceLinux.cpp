#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>

#include "Support/SystemLog.h"
#include "platform/DesktopAppearance.h"

namespace quillfen {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kInterfaceNamespace = QStringLiteral("org.gnome.desktop.interface");
const QString kAnimationsKey = QStringLiteral("enable-animations");
const QString kAppearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kSchemeKey = QStringLiteral("color-scheme");

// Older portals wrap the value of Read in a second variant.
QVariant unwrap(QVariant value) {
    for (int i = 0; i < 3 && value.canConvert<QDBusVariant>() && value.metaType() == QMetaType::fromType<QDBusVariant>(); ++i)
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

class PortalAppearance final : public QObject, public DesktopAppearance {
    Q_OBJECT
public:
    PortalAppearance() : bus_(QDBusConnection::sessionBus()) {
        if (!bus_.isConnected()) {
            SystemLog::info("appearance", "no session bus: animations on, light appearance");
            return;
        }
        bus_.connect(kPortal, kPath, kSettings, QStringLiteral("SettingChanged"), this,
                     SLOT(settingChanged(QString, QString, QDBusVariant)));
        read(kInterfaceNamespace, kAnimationsKey);
        read(kAppearanceNamespace, kSchemeKey);
    }

    bool reduceMotion() const override { return reduceMotion_; }
    bool prefersDark() const override { return prefersDark_; }
    Subscription subscribe(std::function<void()> onChange) override { return listeners_.add(std::move(onChange)); }

public slots:
    void settingChanged(const QString& ns, const QString& key, const QDBusVariant& value) {
        apply(ns, key, unwrap(value.variant()));
    }

private:
    void read(const QString& ns, const QString& key) {
        auto call = QDBusMessage::createMethodCall(kPortal, kPath, kSettings, QStringLiteral("Read"));
        call << ns << key;
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 2000), this);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, ns, key] {
            watcher->deleteLater();
            QDBusPendingReply<QDBusVariant> reply = *watcher;
            if (reply.isError()) {
                if (!loggedMissing_) {
                    loggedMissing_ = true;
                    SystemLog::info("appearance", "the settings portal does not answer (" +
                                                      reply.error().name().toStdString() +
                                                      "): animations on, light appearance");
                }
                return;
            }
            apply(ns, key, unwrap(reply.value().variant()));
        });
    }

    void apply(const QString& ns, const QString& key, const QVariant& value) {
        bool changed = false;
        if (ns == kInterfaceNamespace && key == kAnimationsKey && value.metaType() == QMetaType::fromType<bool>()) {
            bool reduce = !value.toBool();
            changed = reduce != reduceMotion_;
            reduceMotion_ = reduce;
        } else if (ns == kAppearanceNamespace && key == kSchemeKey && value.canConvert<uint>()) {
            bool dark = value.toUInt() == 1;
            changed = dark != prefersDark_;
            prefersDark_ = dark;
        }
        if (changed) listeners_.notify();
    }

    QDBusConnection bus_;
    bool reduceMotion_ = false;
    bool prefersDark_ = false;
    bool loggedMissing_ = false;
    ListenerList<> listeners_;
};

}  // namespace

std::unique_ptr<DesktopAppearance> makeDesktopAppearance() {
    return std::make_unique<PortalAppearance>();
}

}  // namespace quillfen

#include "DesktopAppearanceLinux.moc"
