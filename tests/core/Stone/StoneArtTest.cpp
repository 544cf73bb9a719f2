#include "Stone/StoneArt.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quillfen {
namespace {

// "M10,10 L15,15 C1,1 2,2 3,3 Z": the commands in absolute form, to compare as text.
std::string describe(const std::vector<StonePathCommand>& commands) {
    using Kind = StonePathCommand::Kind;
    std::string out;
    for (const auto& c : commands) {
        char b[160];
        if (c.kind == Kind::curve) {
            std::snprintf(b, sizeof b, " C%g,%g %g,%g %g,%g", c.c1.x, c.c1.y, c.c2.x, c.c2.y, c.to.x, c.to.y);
        } else if (c.kind == Kind::close) {
            std::snprintf(b, sizeof b, " Z");
        } else {
            std::snprintf(b, sizeof b, " %c%g,%g", c.kind == Kind::move ? 'M' : 'L', c.to.x, c.to.y);
        }
        out += b;
    }
    return out.empty() ? out : out.substr(1);
}

void expectBox(const StoneBox& box, const StoneBox& expected, const std::string& what) {
    EXPECT_NEAR(box.minX, expected.minX, 1e-3) << what;
    EXPECT_NEAR(box.minY, expected.minY, 1e-3) << what;
    EXPECT_NEAR(box.width, expected.width, 1e-3) << what;
    EXPECT_NEAR(box.height, expected.height, 1e-3) << what;
}

TEST(StoneArtLibrary, EveryDrawingParsesToOneClosedOutlineInsideTheBox) {
    struct Row {
        StoneMaterial material;
        const char* seed;
        const char* kinds;  // move, line, curve, close
        StoneBox bounds;    // the curves' extremes found by dense sampling
    };
    using enum StoneMaterial;
    const Row rows[] = {
        {pebble, "1c7e", "MCCLCCCZ", {17.54774, 11.75666, 147.06910, 82.38460}},
        {pebble, "92b4", "MCLCCLCCZ", {17.47922, 21, 149.13762, 83}},
        {pebble, "b061", "MCCLCCCZ", {20.13359, 18.55899, 139.89841, 77.05186}},
        {flint, "4f2a", "MLLLLLLLZ", {14, 20, 152, 90}},
        {flint, "73ce", "MLLLLLLLZ", {18, 16, 150, 92}},
        {flint, "c412", "MLLLLLLLZ", {12, 14, 156, 94}},
        {obsidian, "6a31", "MLLLLLLZ", {36, 12, 96, 98}},
        {obsidian, "e542", "MLLLLLLZ", {38, 10, 92, 100}},
        {obsidian, "08af", "MLLLLLLZ", {36, 14, 98, 96}},
        {quartz, "d803", "MLLLLLLLLZ", {20, 16, 144, 91}},
        {quartz, "a119", "MLLLLLLLZ", {35, 15, 116, 92}},
        {quartz, "51dd", "MLLLLLLLZ", {19, 15, 145, 93}},
    };
    const auto& library = StoneArtLibrary::all();
    ASSERT_EQ(library.size(), std::size(rows));
    for (std::size_t i = 0; i < library.size(); ++i) {
        const StoneArt& art = library[i];
        const std::string name = std::string(toString(rows[i].material)) + "-" + rows[i].seed;
        ASSERT_EQ(std::string(toString(art.material)) + "-" + art.seed, name);
        std::string kinds;
        for (const auto& c : art.commands())
            kinds += "MLCZ"[static_cast<int>(c.kind)];
        EXPECT_EQ(kinds, rows[i].kinds) << name;
        expectBox(art.drawnBounds(), rows[i].bounds, name);

        auto identity =
            StoneIdentity::make(1, name, art.material, pairedTemperament(art.material), art.seed, 1);
        ASSERT_TRUE(identity) << name;
        EXPECT_EQ(StoneArtLibrary::exactArt(*identity), art) << name;
        EXPECT_EQ(art.eyes.size(), 2u) << name;
    }
}

TEST(StoneArtLibrary, AStoneWithoutADrawingWearsTheFallbackDrawing) {
    auto flint =
        StoneIdentity::make(1, "flint-92b4", StoneMaterial::flint, StoneTemperament::direct, "92b4", 1);
    ASSERT_TRUE(flint);
    EXPECT_FALSE(StoneArtLibrary::exactArt(*flint));
    EXPECT_EQ(StoneArtLibrary::art(*flint), StoneArtLibrary::all().front());
    EXPECT_EQ(StoneArtLibrary::fallbackArt().seed, "1c7e");
    EXPECT_EQ(StoneArtLibrary::art(StoneIdentity::fallback()).fill, "#e6d7b9");
}

TEST(StonePath, ReadsCommandsAsTheStoneDrawingsWriteThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"M10 10 l5 5 5 5", "M10,10 L15,15 L20,20"},
        {"m5 5 10 0", "M5,5 L15,5"},
        {"M0 0 L10 0 Z l5 5", "M0,0 L10,0 Z L5,5"},
        {"M0 0 L10 0 Z 5 5", "M0,0 L10,0 Z"},
        {"M0 0 Z M1 1 z", "M0,0 Z M1,1 Z"},
        {"M0 0 c1 1 2 2 3 3 1 0 1 0 1 0", "M0,0 C1,1 2,2 3,3 C4,3 4,3 4,3"},
        {"M0 0 C1 1 2 2 3 3", "M0,0 C1,1 2,2 3,3"},
        {"M 0,0", "M0,0"},
        {"M48-4", "M48,-4"},
        {"M.5 5.", "M0.5,5"},
        {"M1.5.5", "M1.5,0.5"},
        {"M+2 -3", "M2,-3"},
        {"M0 0 L10", ""},
        {"M0 0 L", "M0,0"},
        {"M0 0 L -", "M0,0"},
        {"M0 0 L - 5", ""},
        {"M0 0 Q1 1", ""},
        {"M0 0 Q", "M0,0"},
        {"M0 0 \uff2c1 1", ""},  // a full-width L is a letter, but none of ours
        {"M0\t0", ""},
        {"M1e3 5", ""},
        {"M\u0663 0", ""},         // a digit, but not one a number is written with
        {"M0 0 L\u0663", "M0,0"},  // ... which is read, so the text has ended
        {"5 5", ""},
        {"", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(describe(StonePath::commands(text)), expected) << text;
}

TEST(StoneGeometry, BoundsFollowTheCurvesNotTheirControlPoints) {
    const std::pair<const char*, StoneBox> cases[] = {
        {"M0 0 C0 -10 10 -10 10 0", {0, -7.5, 10, 7.5}},
        // After a close the curve starts from the subpath's start, (0, 0), not from (40, 100).
        {"M0 0 L40 100 Z c0 -30 0 -30 0 0", {0, -22.5, 40, 122.5}},
        {"M5 5", {5, 5, 0, 0}},
        {"", {}},
        {"L5 5 L10 10", {}},
    };
    for (const auto& [text, box] : cases)
        expectBox(StoneGeometry::bounds(StonePath::commands(text)), box, text);

    const std::vector<StonePathCommand> pastTheRange = {StonePathCommand::move(-1e308, 0),
                                                        StonePathCommand::line(1e308, 1)};
    EXPECT_EQ(StoneGeometry::bounds(pastTheRange), StoneBox{});
    EXPECT_EQ((StoneBox{0, 0, 5, 0}).aspect(), 0);
    EXPECT_EQ((StoneBox{1, 2, 6, 3}).aspect(), 2);
    EXPECT_EQ((StoneBox{1, 2, 6, 3}).maxY(), 5);
}

TEST(StoneColour, ReadsTheLeadingHexadecimalDigitsAfterOneHash) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"#e6d7b9", 0xe6d7b9}, {"E6D7B9", 0xe6d7b9}, {"#12", 0x12}, {"#1234567", 0x234567},
        {"#12zz", 0x12},       {"##123456", 0},      {"#zz", 0},    {"", 0},
    };
    for (const auto& [text, rgb] : cases)
        EXPECT_EQ(stoneColourRGB(text), rgb) << text;
}

}  // namespace
}  // namespace quillfen
