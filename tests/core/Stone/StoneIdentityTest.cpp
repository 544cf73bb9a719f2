#include "Stone/StoneIdentity.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

using Kind = StoneIdentityDecodeError::Kind;

const std::string kFallbackText = R"({"schemaVersion":1,"stoneId":"pebble-1c7e","material":"pebble",)"
                                  R"("temperament":"steady","seed":"1c7e","shapeRevision":1})";

// The fallback's stored text with one piece of it replaced.
std::string with(std::string_view from, std::string_view to) {
    std::string text = kFallbackText;
    return text.replace(text.find(from), from.size(), to);
}

TEST(StoneIdentity, DecodesOnlyWhatKeepsTheContractAndSaysWhyNot) {
    struct Case {
        std::string text;
        std::optional<Kind> error;  // none: decodes to the fallback's identity
        std::string key;
    };
    const Case cases[] = {
        {kFallbackText, {}, ""},
        {with("{", R"({"note":"an extra key",)"), {}, ""},
        {with(R"("schemaVersion":1)", R"("schemaVersion":1.0)"), {}, ""},
        {with(R"("pebble")", R"("Flint")"), Kind::unknownMaterial, "material"},
        {with("steady", "calm"), Kind::unknownTemperament, "temperament"},
        {with(R"("1c7e")", R"("1C7E")"), Kind::contractViolation, ""},
        {with(R"("1c7e")", R"("1c7")"), Kind::contractViolation, ""},
        {with(R"("1c7e")", R"("1c7e0")"), Kind::contractViolation, ""},
        {with("steady", "reserved"), Kind::contractViolation, ""},
        {with(R"("pebble","temperament":"steady")", R"("flint","temperament":"direct")"),
         Kind::contractViolation, ""},
        {with(R"("shapeRevision":1)", R"("shapeRevision":2)"), Kind::contractViolation, ""},
        {with(R"("schemaVersion":1)", R"("schemaVersion":2)"), Kind::contractViolation, ""},
        {with(R"("schemaVersion":1)", R"("schemaVersion":"1")"), Kind::wrongType, "schemaVersion"},
        {with(R"("shapeRevision":1)", R"("shapeRevision":1.5)"), Kind::wrongType, "shapeRevision"},
        {with(R"("1c7e")", "null"), Kind::wrongType, "seed"},
        {with(R"(,"seed":"1c7e")", ""), Kind::missingKey, "seed"},
        {with(R"("material":"pebble",)", R"("seed":"zz",)"), Kind::missingKey, "material"},
        {"null", Kind::wrongType, ""},
        {"{\"schemaVersion\":1,", Kind::notJson, ""},
    };
    for (const Case& c : cases) {
        const auto decoded = StoneIdentity::decode(c.text);
        if (!c.error) {
            EXPECT_EQ(std::get<StoneIdentity>(decoded), StoneIdentity::fallback()) << c.text;
            EXPECT_EQ(StoneIdentity::strictDecode(c.text), StoneIdentity::fallback()) << c.text;
            continue;
        }
        const auto* error = std::get_if<StoneIdentityDecodeError>(&decoded);
        ASSERT_NE(error, nullptr) << c.text;
        EXPECT_EQ(error->kind, *c.error) << c.text;
        EXPECT_EQ(error->key, c.key) << c.text;
        if (c.error == Kind::contractViolation) {
            EXPECT_EQ(error->description, "stone-identity v1 contract violation");
        }
        EXPECT_EQ(StoneIdentity::strictDecode(c.text), std::nullopt) << c.text;
        EXPECT_EQ(StoneIdentity::decodeOrFallback(c.text), StoneIdentity::fallback()) << c.text;
    }
}

TEST(StoneIdentity, ASeedIsFourOfTheCharactersZeroToNineAndAToF) {
    const std::pair<std::string, bool> cases[] = {
        {"1c7e", true},       {"09af", true},       {"1C7E", false}, {"1c7", false},
        {"1c7e0", false},     {"", false},          {"1c7g", false}, {"1c7e\u0301", false},
        {"1c7\u00e9", false}, {"\uff11c7e", false}, {"1c 7", false}, {"1c7\xff", false},
    };
    for (const auto& [seed, valid] : cases) {
        EXPECT_EQ(StoneIdentity::isValidSeed(seed), valid) << seed;
        const bool made = StoneIdentity::make(1, "quartz-" + seed, StoneMaterial::quartz,
                                              StoneTemperament::observant, seed, 1)
                              .has_value();
        EXPECT_EQ(made, valid) << seed;
    }
    EXPECT_EQ(StoneIdentity::validatedOrFallback(1, "quartz-a119", StoneMaterial::quartz,
                                                 StoneTemperament::steady, "a119", 1),
              StoneIdentity::fallback());
}

TEST(StoneIdentity, EncodesTheSixKeysInFieldOrder) {
    auto quartz =
        StoneIdentity::make(1, "quartz-a119", StoneMaterial::quartz, StoneTemperament::observant, "a119", 1);
    ASSERT_TRUE(quartz);
    EXPECT_EQ(quartz->encode(),
              R"({"schemaVersion":1,"stoneId":"quartz-a119","material":"quartz","temperament":"observant",)"
              R"("seed":"a119","shapeRevision":1})");
    EXPECT_EQ(StoneIdentity::strictDecode(quartz->encode()), quartz);
}

}  // namespace
}  // namespace quillfen
