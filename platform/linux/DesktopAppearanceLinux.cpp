#include "platform/linux/DesktopAppearanceLinux.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kSchemeKey = QStringLiteral("color-scheme");

// Older portals wrap the value of Read in a second variant.
QVariant unwrap(QVariant value) {
    for (int i = 0; i < 3 && value.canConvert<QDBusVariant>() && value.metaType() == QMetaType::fromType<QDBusVariant>(); ++i)
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

// Each desktop's way of asking for less motion, and what a value of it says: nothing when the
// value is not of the setting's type.
struct MotionSetting {
    QString ns;
    QString key;
    std::optional<bool> (*reduces)(const QVariant& value);
};

std::optional<bool> animationsOffReduce(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<bool>()) return std::nullopt;
    return !value.toBool();
}

std::optional<bool> instantAnimationsReduce(const QVariant& value) {
    double factor = 0;
    if (value.metaType() == QMetaType::fromType<double>()) {
        factor = value.toDouble();
    } else if (value.metaType() == QMetaType::fromType<QString>()) {
        // KDE's portal hands on kdeglobals' entries as the file holds them, as text.
        bool number = false;
        factor = value.toString().toDouble(&number);
        if (!number) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(factor) || factor < 0) return std::nullopt;
    return factor == 0;
}

std::optional<bool> reducedMotionReduce(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<uint>()) return std::nullopt;
    return value.toUInt() == 1;
}

constexpr std::size_t kMotionSettings = 3;

const std::array<MotionSetting, kMotionSettings>& motionSettings() {
    static const std::array<MotionSetting, kMotionSettings> settings{{
        {QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"),
         animationsOffReduce},
        {QStringLiteral("org.kde.kdeglobals.KDE"), QStringLiteral("AnimationDurationFactor"),
         instantAnimationsReduce},
        {kAppearanceNamespace, QStringLiteral("reduced-motion"), reducedMotionReduce},
    }};
    return settings;
}

class PortalAppearance final : public QObject, public DesktopAppearance {
    Q_OBJECT
public:
    explicit PortalAppearance(const QDBusConnection& bus) : bus_(bus) {
        if (!bus_.isConnected()) {
            SystemLog::info("appearance", "no session bus: animations on, light appearance");
            return;
        }
        // The slot is found by its signature's type names, and a type Qt has not met yet has no
        // name: the first connection of a process, made before any variant was read, failed.
        qRegisterMetaType<QDBusVariant>();
        if (!bus_.connect(kPortal, kPath, kSettings, QStringLiteral("SettingChanged"), this,
                          SLOT(settingChanged(QString, QString, QDBusVariant))))
            SystemLog::info("appearance",
                            "the settings portal's changes cannot be followed: as they were at start");
        for (const MotionSetting& setting : motionSettings())
            read(setting.ns, setting.key);
        read(kAppearanceNamespace, kSchemeKey);
    }

    bool reduceMotion() const override {
        return std::any_of(reduces_.begin(), reduces_.end(),
                           [](const auto& answer) { return answer.value_or(false); });
    }
    bool prefersDark() const override { return prefersDark_; }
    Subscription subscribe(std::function<void()> onChange) override {
        return listeners_.add(std::move(onChange));
    }

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
                // A portal answers a key it does not know (another desktop's) with an error:
                // that setting stays as if unset.
                if (!loggedMissing_) {
                    loggedMissing_ = true;
                    SystemLog::info("appearance", "the settings portal does not answer " + ns.toStdString() +
                                                      " " + key.toStdString() + " (" +
                                                      reply.error().name().toStdString() +
                                                      "): taken as unset");
                }
                return;
            }
            apply(ns, key, unwrap(reply.value().variant()));
        });
    }

    void apply(const QString& ns, const QString& key, const QVariant& value) {
        const bool reducedBefore = reduceMotion();
        const bool darkBefore = prefersDark_;
        const auto& settings = motionSettings();
        for (std::size_t i = 0; i < settings.size(); ++i) {
            if (ns != settings[i].ns || key != settings[i].key) continue;
            // A value of another type says nothing: the last answer stands.
            if (const std::optional<bool> reduce = settings[i].reduces(value)) reduces_[i] = reduce;
        }
        if (ns == kAppearanceNamespace && key == kSchemeKey && value.canConvert<uint>())
            prefersDark_ = value.toUInt() == 1;
        if (reduceMotion() != reducedBefore || prefersDark_ != darkBefore) listeners_.notify();
    }

    QDBusConnection bus_;
    // Each motion setting's last answer, in the order of motionSettings().
    std::array<std::optional<bool>, kMotionSettings> reduces_;
    bool prefersDark_ = false;
    bool loggedMissing_ = false;
    ListenerList<> listeners_;
};

}  // namespace

std::unique_ptr<DesktopAppearance> makePortalAppearance(const QDBusConnection& sessionBus) {
    return std::make_unique<PortalAppearance>(sessionBus);
}

std::unique_ptr<DesktopAppearance> makeDesktopAppearance() {
    return makePortalAppearance(QDBusConnection::sessionBus());
}

}  // namespace quillfen

#include "DesktopAppearanceLinux.moc"
