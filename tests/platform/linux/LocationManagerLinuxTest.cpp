#include "platform/linux/LocationManagerLinux.h"

#include <gtest/gtest.h>

#include <QDBusVariant>
#include <vector>

#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

using test::BusConnection;
using test::DbusMock;
using test::PrivateBus;

const QString kGeoClue = QStringLiteral("org.freedesktop.GeoClue2");
const QString kClientPath = QStringLiteral("/org/freedesktop/GeoClue2/Client/1");
const QString kClient = QStringLiteral("org.freedesktop.GeoClue2.Client");

QVariant clientProperty(BusConnection& connection, const QString& name) {
    auto reply = connection.call(kGeoClue, kClientPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("Get"), {kClient, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

// Hears the manager out and, like the application, asks for a location once authorised.
struct RecordingDelegate final : LocationManagerDelegate {
    LocationManager* manager = nullptr;
    std::vector<LocationAuthorization> statuses;
    std::vector<CoarseLocation> fixes;
    int failures = 0;

    void authorizationChanged(LocationAuthorization status) override {
        statuses.push_back(status);
        if (status == LocationAuthorization::authorized) manager->requestLocation();
    }
    void locationsUpdated(const std::vector<CoarseLocation>& locations) override {
        fixes.insert(fixes.end(), locations.begin(), locations.end());
    }
    void locationFailed() override { ++failures; }
};

struct GeoClueRig {
    PrivateBus bus;
    std::optional<DbusMock> geoClue;
    BusConnection connection{bus};
    RecordingDelegate delegate;
    std::unique_ptr<LocationManager> manager;

    explicit GeoClueRig(std::optional<std::string> parameters) {
        if (parameters) {
            geoClue.emplace(bus, "geoclue2", *parameters);
            EXPECT_TRUE(connection.waitForName(kGeoClue));
        }
        manager = makeGeoClueLocationManager(*connection);
        delegate.manager = manager.get();
        manager->setDelegate(&delegate);
    }
};

TEST(LocationManagerLinux, AGrantGivesOneCityLevelFixAndStopsTheClient) {
    GeoClueRig rig(R"({"grant": true, "lat": 52.52, "lng": 13.405})");
    EXPECT_TRUE(rig.manager->serviceAvailable());
    EXPECT_EQ(rig.manager->authorizationStatus(), LocationAuthorization::notDetermined);
    rig.manager->requestWhenInUseAuthorization();

    ASSERT_TRUE(test::spinUntil([&] { return !rig.delegate.fixes.empty(); }));
    EXPECT_EQ(rig.delegate.fixes, std::vector<CoarseLocation>{(CoarseLocation{52.52, 13.405})});
    EXPECT_EQ(rig.delegate.statuses, std::vector<LocationAuthorization>{LocationAuthorization::authorized});
    EXPECT_EQ(rig.manager->authorizationStatus(), LocationAuthorization::authorized);
    EXPECT_EQ(clientProperty(rig.connection, QStringLiteral("DesktopId")).toString(),
              QStringLiteral("org.quillfen.Quillfen"));
    EXPECT_EQ(clientProperty(rig.connection, QStringLiteral("RequestedAccuracyLevel")).toUInt(), 4u);
    ASSERT_TRUE(
        test::spinUntil([&] { return !clientProperty(rig.connection, QStringLiteral("Active")).toBool(); }));

    // The machine moves while nothing is asked; only the next request learns of it.
    rig.connection.call(kGeoClue, QStringLiteral("/org/freedesktop/GeoClue2/Manager"),
                        QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("SetLocation"),
                        {48.85, 2.35});
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.delegate.fixes.size(), 1u);
    rig.manager->requestLocation();
    ASSERT_TRUE(test::spinUntil([&] { return rig.delegate.fixes.size() == 2; }));
    EXPECT_EQ(rig.delegate.fixes.back(), (CoarseLocation{48.85, 2.35}));
    EXPECT_EQ(rig.delegate.statuses.size(), 1u);
    EXPECT_EQ(rig.delegate.failures, 0);
}

TEST(LocationManagerLinux, ARefusalIsDeniedAndARequestFails) {
    GeoClueRig rig(R"({"grant": false})");
    rig.manager->requestWhenInUseAuthorization();
    ASSERT_TRUE(test::spinUntil([&] { return !rig.delegate.statuses.empty(); }));
    EXPECT_EQ(rig.delegate.statuses, std::vector<LocationAuthorization>{LocationAuthorization::denied});
    EXPECT_EQ(rig.delegate.failures, 0);

    rig.manager->requestLocation();
    ASSERT_TRUE(test::spinUntil([&] { return rig.delegate.failures == 1; }));
    EXPECT_TRUE(rig.delegate.fixes.empty());
    EXPECT_EQ(rig.delegate.statuses.size(), 1u);
}

TEST(LocationManagerLinux, NoLocationServiceCountsAsRestricted) {
    GeoClueRig rig(std::nullopt);
    EXPECT_FALSE(rig.manager->serviceAvailable());
    rig.manager->requestWhenInUseAuthorization();
    ASSERT_TRUE(test::spinUntil([&] { return !rig.delegate.statuses.empty(); }));
    EXPECT_EQ(rig.delegate.statuses, std::vector<LocationAuthorization>{LocationAuthorization::restricted});
    EXPECT_EQ(rig.manager->authorizationStatus(), LocationAuthorization::restricted);
}

}  // namespace
}  // namespace quillfen
