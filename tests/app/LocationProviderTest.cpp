#include "LocationProvider.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/FakeLocationManager.h"

namespace quillfen {
namespace {

using test::FakeLocationManager;

struct ProviderRig {
    FakeLocationManager* manager = nullptr;
    std::unique_ptr<LocationProvider> provider;
    std::vector<bool> answers;

    ProviderRig() {
        auto fake = std::make_unique<FakeLocationManager>();
        manager = fake.get();
        provider = std::make_unique<LocationProvider>(std::move(fake));
    }

    void askForGrant() {
        provider->grantAnswer = [this](bool granted) { answers.push_back(granted); };
    }
};

TEST(LocationProvider, AGrantRequestsALocationAndAnswersOnce) {
    ProviderRig rig;
    EXPECT_EQ(rig.manager->delegate, rig.provider.get());
    rig.askForGrant();
    rig.manager->answer(LocationAuthorization::authorized);
    EXPECT_EQ(rig.manager->locationRequests, 1);
    EXPECT_EQ(rig.answers, std::vector<bool>{true});
    EXPECT_FALSE(rig.provider->grantAnswer);

    rig.manager->answer(LocationAuthorization::authorized);
    EXPECT_EQ(rig.manager->locationRequests, 2);
    EXPECT_EQ(rig.answers, std::vector<bool>{true});
}

TEST(LocationProvider, ARefusalAnswersFalseOnceAndRequestsNothing) {
    for (auto status : {LocationAuthorization::denied, LocationAuthorization::restricted}) {
        ProviderRig rig;
        rig.askForGrant();
        rig.manager->answer(status);
        rig.manager->answer(status);
        EXPECT_EQ(rig.answers, std::vector<bool>{false});
        EXPECT_EQ(rig.manager->locationRequests, 0);
    }
}

TEST(LocationProvider, AnUnsettledChangeKeepsThePendingAnswer) {
    ProviderRig rig;
    rig.askForGrant();
    rig.manager->answer(LocationAuthorization::notDetermined);
    EXPECT_TRUE(rig.answers.empty());
    EXPECT_TRUE(rig.provider->grantAnswer);
    rig.manager->answer(LocationAuthorization::denied);
    EXPECT_EQ(rig.answers, std::vector<bool>{false});
}

TEST(LocationProvider, KeepsTheNewestFixThroughFailuresAndRevocation) {
    ProviderRig rig;
    EXPECT_EQ(rig.provider->lastFix(), std::nullopt);
    rig.provider->locationsUpdated({{1, 2}, {3, 4}, {52.52, 13.405}});
    EXPECT_EQ(rig.provider->lastFix(), (CoarseLocation{52.52, 13.405}));
    rig.provider->locationsUpdated({});
    rig.provider->locationFailed();
    rig.manager->answer(LocationAuthorization::denied);
    EXPECT_EQ(rig.provider->lastFix(), (CoarseLocation{52.52, 13.405}));
    rig.provider->locationsUpdated({{48.85, 2.35}});
    EXPECT_EQ(rig.provider->lastFix(), (CoarseLocation{48.85, 2.35}));
}

}  // namespace
}  // namespace quillfen
