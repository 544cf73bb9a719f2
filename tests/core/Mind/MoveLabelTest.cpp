#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Mind/MoveLabel.h"
#include "Stone/StoneIdentity.h"

namespace quillfen {
namespace {

TEST(RawValueEnumerations, WriteTheirRawTextAndReadOnlyExactMatches) {
    EXPECT_EQ(nlohmann::json(MoveLabel::stepOutside), "step-outside");
    EXPECT_EQ(nlohmann::json("custom-other").get<MoveLabel>(), MoveLabel::customOther);
    for (auto label : kAllMoveLabels)
        EXPECT_EQ(nlohmann::json(label).get<MoveLabel>(), label);
    EXPECT_THROW(nlohmann::json("Step-Outside").get<MoveLabel>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(3).get<MoveLabel>(), nlohmann::json::exception);

    EXPECT_EQ(nlohmann::json(StoneTemperament::observant), "observant");
    for (auto t : kAllStoneTemperaments)
        EXPECT_EQ(nlohmann::json(t).get<StoneTemperament>(), t);
    EXPECT_THROW(nlohmann::json("Steady").get<StoneTemperament>(), nlohmann::json::exception);
    EXPECT_FALSE(stoneMaterialFrom(" flint"));
    EXPECT_FALSE(stoneMaterialFrom("granite"));
    EXPECT_EQ(stoneMaterialFrom("quartz"), StoneMaterial::quartz);
}

}  // namespace
}  // namespace quillfen
