#include "Stone/MenuBarStone.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

const StoneArt& row(std::size_t number) {
    return StoneArtLibrary::all().at(number - 1);
}

TEST(MenuBarStone, FitsTheDrawingToTheHeightWithItsOutline) {
    struct Case {
        const char* name;
        StoneArt art;
        double height;
        MenuBarStoneLayout expected;
    };
    StoneArt blank = row(4);
    blank.path = "5 5";
    const Case cases[] = {
        {"flint 4f2a", row(4), 13, {143.0 / 1080, -1.3120, -2.1065, 21.209, 13, 13.0 / 12}},
        {"obsidian 6a31", row(7), 13, {143.0 / 1176, -3.8359, -0.9175, 12.757, 13, 13.0 / 12}},
        {"no height", row(4), 0, {0, 0, 0, 0, 0, 0}},
        {"no drawing", blank, 13, {0, 0, 0, 13, 13, 13.0 / 12}},
    };
    for (const Case& c : cases) {
        const auto layout = MenuBarStone::layout(c.art, c.height);
        EXPECT_NEAR(layout.scale, c.expected.scale, 1e-5) << c.name;
        EXPECT_NEAR(layout.originX, c.expected.originX, 1e-4) << c.name;
        EXPECT_NEAR(layout.originY, c.expected.originY, 1e-4) << c.name;
        EXPECT_NEAR(layout.width, c.expected.width, 1e-3) << c.name;
        EXPECT_EQ(layout.height, c.expected.height) << c.name;
        EXPECT_DOUBLE_EQ(layout.strokeWidth, c.expected.strokeWidth) << c.name;
    }

    // The outline's half-width stays inside the slot, and the speck sits low on the left.
    const auto layout = MenuBarStone::layout(row(4), 13);
    EXPECT_NEAR(layout.point(44, 20).y, 13.0 / 24, 1e-9);
    EXPECT_NEAR(layout.point(60, 110).y, 13 - 13.0 / 24, 1e-9);
    EXPECT_NEAR(layout.point(14, 100).x, 13.0 / 24, 1e-9);
    const StonePoint speck = MenuBarStone::speckCentre(row(4), layout);
    EXPECT_NEAR(speck.x, 13.0 / 24 + 152 * 0.18 * layout.scale, 1e-9);
    EXPECT_NEAR(speck.y, 13.0 / 24 + 90 * 0.72 * layout.scale, 1e-9);
}

TEST(MenuBarStone, OnlyObsidiansDarkEdgeGivesWayOnADarkMenuBar) {
    for (const auto& art : StoneArtLibrary::all()) {
        const bool obsidian = art.material == StoneMaterial::obsidian;
        EXPECT_EQ(MenuBarStone::outlineHex(art, true), obsidian ? "#9aa093" : art.edge) << art.seed;
        EXPECT_EQ(MenuBarStone::outlineHex(art, false), art.edge) << art.seed;
    }
    StoneArt unreadable = row(7);
    unreadable.edge = "#17";
    EXPECT_EQ(MenuBarStone::outlineHex(unreadable, true), "#17");
}

TEST(MenuBarStone, LuminanceNeedsExactlySixHexadecimalDigits) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"#171a17", 0.0986}, {"171a17", 0.0986}, {"#FFFFFF", 1.0},  {"#000000", 0.0},
        {"#68704d", 0.4226}, {"#171a1", {}},     {"#171a17ff", {}}, {"#+71a17", {}},
        {"#17 a17", {}},     {"##171a17", {}},   {"", {}},
    };
    for (const auto& [hex, expected] : cases) {
        const auto luminance = MenuBarStone::luminance(hex);
        ASSERT_EQ(luminance.has_value(), expected.has_value()) << hex;
        if (expected) {
            EXPECT_NEAR(*luminance, *expected, 1e-4) << hex;
        }
    }
}

}  // namespace
}  // namespace quillfen
