#include "platform/linux/LocationManagerLinux.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QVariantMap>

#include "Support/Paths.h"
#include "Support/SystemLog.h"

namespace quillfen {

namespace {

const QString kGeoClue = QStringLiteral("org.freedesktop.GeoClue2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString kClient = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString kLocation = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr quint32 kCityAccuracy = 4;
// GeoClue may wait for the user to answer its agent's question before Start returns.
constexpr int kStartTimeoutMs = 120000;
constexpr int kCallTimeoutMs = 5000;

// One GeoClue client, started for a request and stopped again once a location was handed
// over, so the service does not go on tracking the machine between requests.
class GeoClueLocationManager final : public QObject, public LocationManager {
    Q_OBJECT

public:
    explicit GeoClueLocationManager(QDBusConnection bus) : bus_(std::move(bus)) {}

    void setDelegate(LocationManagerDelegate* delegate) override { delegate_ = delegate; }
    LocationAuthorization authorizationStatus() const override { return status_; }

    bool serviceAvailable() const override {
        // Without a bus a call is never answered, not even with an error.
        const QDBusConnectionInterface* bus = bus_.interface();
        if (!bus_.isConnected() || bus == nullptr) return false;
        if (bus->isServiceRegistered(kGeoClue).value()) return true;
        // GeoClue mostly sleeps until the bus starts it for the first call.
        const QDBusReply<QStringList> startable = bus->activatableServiceNames();
        return startable.isValid() && startable.value().contains(kGeoClue);
    }

    void requestWhenInUseAuthorization() override { start(); }

    void requestLocation() override {
        locationPending_ = true;
        if (started_ && !currentLocation_.isEmpty()) {
            deliver(currentLocation_);
        } else {
            start();
        }
    }

private slots:
    void locationUpdated(const QDBusObjectPath&, const QDBusObjectPath& now) {
        if (now.path().isEmpty() || now.path() == QStringLiteral("/")) return;
        currentLocation_ = now.path();
        if (started_ && locationPending_) deliver(currentLocation_);
    }

private:
    void start() {
        if (started_ || starting_) return;
        starting_ = true;
        if (!clientPath_.isEmpty()) return callStart();
        auto call =
            QDBusMessage::createMethodCall(kGeoClue, kManagerPath, kManager, QStringLiteral("GetClient"));
        whenAnswered(bus_.asyncCall(call, kCallTimeoutMs), [this](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
                return startFailed(reply);
            clientPath_ = reply.arguments().front().value<QDBusObjectPath>().path();
            if (clientPath_.isEmpty()) return startFailed(reply);
            bus_.connect(kGeoClue, clientPath_, kClient, QStringLiteral("LocationUpdated"), this,
                         SLOT(locationUpdated(QDBusObjectPath, QDBusObjectPath)));
            setClientProperty(QStringLiteral("DesktopId"), QString::fromUtf8(Paths::kAppId));
            setClientProperty(QStringLiteral("RequestedAccuracyLevel"), QVariant::fromValue(kCityAccuracy));
            callStart();
        });
    }

    // Messages on one connection arrive in order, so the properties are set before Start.
    void setClientProperty(const QString& name, const QVariant& value) {
        auto call = QDBusMessage::createMethodCall(kGeoClue, clientPath_, kProperties, QStringLiteral("Set"));
        call << kClient << name << QVariant::fromValue(QDBusVariant(value));
        bus_.asyncCall(call, kCallTimeoutMs);
    }

    void callStart() {
        auto call = QDBusMessage::createMethodCall(kGeoClue, clientPath_, kClient, QStringLiteral("Start"));
        whenAnswered(bus_.asyncCall(call, kStartTimeoutMs), [this](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) return startFailed(reply);
            starting_ = false;
            started_ = true;
            setStatus(LocationAuthorization::authorized);
            if (locationPending_ && !currentLocation_.isEmpty()) deliver(currentLocation_);
        });
    }

    void startFailed(const QDBusMessage& reply) {
        starting_ = false;
        if (reply.errorName() == QDBusError::errorString(QDBusError::AccessDenied)) {
            setStatus(LocationAuthorization::denied);
        } else if (status_ == LocationAuthorization::notDetermined) {
            // No location service on this machine, or none that answers.
            if (!missingLogged_) {
                missingLogged_ = true;
                SystemLog::info("location", "no location service answers (" + reply.errorName().toStdString() +
                                                "): the sky is asked without a location");
            }
            setStatus(LocationAuthorization::restricted);
        }
        failPending();
    }

    void deliver(const QString& locationPath) {
        auto call =
            QDBusMessage::createMethodCall(kGeoClue, locationPath, kProperties, QStringLiteral("GetAll"));
        call << kLocation;
        whenAnswered(bus_.asyncCall(call, kCallTimeoutMs), [this](const QDBusMessage& reply) {
            if (!locationPending_) return;
            auto location = readLocation(reply);
            stop();
            if (!location) return failPending();
            locationPending_ = false;
            if (delegate_ != nullptr) delegate_->locationsUpdated({*location});
        });
    }

    static std::optional<CoarseLocation> readLocation(const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return std::nullopt;
        auto properties = qdbus_cast<QVariantMap>(reply.arguments().front());
        auto lat = properties.value(QStringLiteral("Latitude"));
        auto lng = properties.value(QStringLiteral("Longitude"));
        auto isDouble = [](const QVariant& v) { return v.metaType() == QMetaType::fromType<double>(); };
        if (!isDouble(lat) || !isDouble(lng)) return std::nullopt;
        return CoarseLocation{lat.toDouble(), lng.toDouble()};
    }

    void stop() {
        if (!started_) return;
        started_ = false;
        currentLocation_.clear();
        auto call = QDBusMessage::createMethodCall(kGeoClue, clientPath_, kClient, QStringLiteral("Stop"));
        bus_.asyncCall(call, kCallTimeoutMs);
    }

    void failPending() {
        if (!locationPending_) return;
        locationPending_ = false;
        if (delegate_ != nullptr) delegate_->locationFailed();
    }

    void setStatus(LocationAuthorization status) {
        if (status == status_) return;
        status_ = status;
        if (delegate_ != nullptr) delegate_->authorizationChanged(status);
    }

    template <typename Handler>
    void whenAnswered(const QDBusPendingCall& pending, Handler handler) {
        auto* watcher = new QDBusPendingCallWatcher(pending, this);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                         [handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                             finished->deleteLater();
                             handler(finished->reply());
                         });
    }

    QDBusConnection bus_;
    LocationManagerDelegate* delegate_ = nullptr;
    bool missingLogged_ = false;
    LocationAuthorization status_ = LocationAuthorization::notDetermined;
    QString clientPath_;
    QString currentLocation_;
    bool starting_ = false;
    bool started_ = false;
    bool locationPending_ = false;
};

}  // namespace

std::unique_ptr<LocationManager> makeGeoClueLocationManager(const QDBusConnection& systemBus) {
    return std::make_unique<GeoClueLocationManager>(systemBus);
}

std::unique_ptr<LocationManager> makeLocationManager() {
    return makeGeoClueLocationManager(QDBusConnection::systemBus());
}

}  // namespace quillfen

#include "LocationManagerLinux.moc"
