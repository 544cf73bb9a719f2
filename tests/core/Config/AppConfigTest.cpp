#include <gtest/gtest.h>

#include "Config/AppConfig.h"

namespace quillfen {
namespace {

TEST(AppConfig, AnEmptyEnvironmentGivesTheDefaults) {
    auto c = AppConfig::fromEnvironment({});
    EXPECT_EQ(c.farlumeBaseURL, AppConfig::kDefaultFarlumeBaseURL);
    EXPECT_TRUE(isParseableURL(c.farlumeBaseURL));
    EXPECT_EQ(c.locationMode, LocationMode::coreLocationCoarse);
    EXPECT_FALSE(c.fixedPlace);
    EXPECT_EQ(c.locationRoundingDecimals, 2);
    EXPECT_DOUBLE_EQ(c.skyCheckTimeout, 2.5);
    EXPECT_EQ(c.mapperThresholds, (MapperThresholds{180.0, 12, 75, 150}));
    EXPECT_EQ(c.deciderThresholds, (DeciderThresholds{120, 2, 7.0, 20.0, 165}));
    EXPECT_EQ(c.faceThresholds, (FaceThresholds{30, 60, 5, 600, 6, 1800}));
    EXPECT_EQ(c.logRetentionDays, 14);
    EXPECT_TRUE(c.cloudMindEnabled);
    EXPECT_EQ(c.cloudMindModel, "haiku");
    EXPECT_DOUBLE_EQ(c.cloudMindTimeout, 12.0);
    EXPECT_TRUE(c.observeOnly);
    EXPECT_EQ(c, AppConfig{});
}

TEST(AppConfig, APlaceImpliesItsModeOnlyWithoutAModeVariable) {
    struct Case {
        std::optional<std::string> mode;
        LocationMode expected;
    };
    const Case cases[] = {
        {std::nullopt, LocationMode::fixedPlace},
        {"none", LocationMode::none},
        {"FixedPlace", LocationMode::coreLocationCoarse},
        {"", LocationMode::coreLocationCoarse},
    };
    for (const auto& c : cases) {
        Environment env{{"TAVRYN_FIXED_PLACE", " Lisbon "}};
        if (c.mode) env["TAVRYN_LOCATION_MODE"] = *c.mode;
        auto config = AppConfig::fromEnvironment(env);
        EXPECT_EQ(config.locationMode, c.expected) << c.mode.value_or("<absent>");
        EXPECT_EQ(config.fixedPlace, " Lisbon ");
    }
    auto emptyPlace = AppConfig::fromEnvironment({{"TAVRYN_FIXED_PLACE", ""}});
    EXPECT_FALSE(emptyPlace.fixedPlace);
    EXPECT_EQ(emptyPlace.locationMode, LocationMode::coreLocationCoarse);
    EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_LOCATION_MODE", "none"}}).locationMode,
              LocationMode::none);
}

TEST(AppConfig, SwitchesAreOffOnlyForTheFourWordsInAnyCase) {
    const std::pair<std::string, bool> cases[] = {
        {"FALSE", false},   {"No", false}, {"off", false}, {"0", false},
        {"disabled", true}, {"1", true},   {"", true},     {" no", true},
    };
    for (const auto& [value, on] : cases) {
        EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_OBSERVE_ONLY", value}}).observeOnly, on) << value;
        EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_CLOUD_MIND", value}}).cloudMindEnabled, on) << value;
    }
}

TEST(AppConfig, TextValuesReplaceDefaultsOnlyWhenUsable) {
    EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_CLOUD_MODEL", ""}}).cloudMindModel, "haiku");
    EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_CLOUD_MODEL", "sonnet"}}).cloudMindModel, "sonnet");
    EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_FARLUME_BASE_URL", ""}}).farlumeBaseURL,
              AppConfig::kDefaultFarlumeBaseURL);
    EXPECT_EQ(AppConfig::fromEnvironment({{"TAVRYN_FARLUME_BASE_URL", "not a url"}}).farlumeBaseURL,
              AppConfig::kDefaultFarlumeBaseURL);
    EXPECT_EQ(
        AppConfig::fromEnvironment({{"TAVRYN_FARLUME_BASE_URL", "http://127.0.0.1:8080"}}).farlumeBaseURL,
        "http://127.0.0.1:8080");
    EXPECT_EQ(AppConfig::fromEnvironment({{"UNRELATED", "x"}}), AppConfig{});
}

}  // namespace
}  // namespace quillfen
