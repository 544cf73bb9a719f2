#include "Stone/StoneIdentity.h"

#include <cstddef>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

constexpr EnumName<StoneMaterial> kMaterials[] = {
    {StoneMaterial::pebble, "pebble"},
    {StoneMaterial::flint, "flint"},
    {StoneMaterial::obsidian, "obsidian"},
    {StoneMaterial::quartz, "quartz"},
};

constexpr EnumName<StoneTemperament> kTemperaments[] = {
    {StoneTemperament::steady, "steady"},
    {StoneTemperament::direct, "direct"},
    {StoneTemperament::reserved, "reserved"},
    {StoneTemperament::observant, "observant"},
};

using DecodeKind = StoneIdentityDecodeError::Kind;

// Thrown inside the decoder only, and caught at its edge.
struct DecodeFailure {
    StoneIdentityDecodeError error;
};

[[noreturn]] void failDecoding(DecodeKind kind, std::string key, std::string description) {
    throw DecodeFailure{{kind, std::move(key), std::move(description)}};
}

const nlohmann::json& requiredField(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) failDecoding(DecodeKind::missingKey, key, std::string("no value for key ") + key);
    return *it;
}

int integerField(const nlohmann::json& object, const char* key) {
    try {
        return JsonFields::asInt(requiredField(object, key));
    } catch (const JsonFields::Invalid& e) {
        failDecoding(DecodeKind::wrongType, key, std::string("expected an integer: ") + e.what());
    }
}

std::string stringField(const nlohmann::json& object, const char* key) {
    const nlohmann::json& value = requiredField(object, key);
    if (!value.is_string()) failDecoding(DecodeKind::wrongType, key, "expected a string");
    return value.get<std::string>();
}

template <typename Parse>
auto rawValueField(const nlohmann::json& object, const char* key, Parse parse, DecodeKind unknown) {
    auto parsed = parse(stringField(object, key));
    if (!parsed) failDecoding(unknown, key, std::string("not a known ") + key);
    return *parsed;
}

bool keepsContract(int schemaVersion, const std::string& stoneId, StoneMaterial material,
                   StoneTemperament temperament, const std::string& seed, int shapeRevision) {
    return schemaVersion == StoneIdentity::currentSchemaVersion &&
           shapeRevision == StoneIdentity::currentShapeRevision && StoneIdentity::isValidSeed(seed) &&
           temperament == pairedTemperament(material) &&
           stoneId == std::string(toString(material)) + "-" + seed;
}

}  // namespace

std::string_view toString(StoneMaterial m) {
    return enumName(m, kMaterials);
}
std::string_view toString(StoneTemperament t) {
    return enumName(t, kTemperaments);
}
std::optional<StoneMaterial> stoneMaterialFrom(std::string_view raw) {
    return enumFromName(raw, kMaterials);
}
std::optional<StoneTemperament> stoneTemperamentFrom(std::string_view raw) {
    return enumFromName(raw, kTemperaments);
}

StoneTemperament pairedTemperament(StoneMaterial m) {
    return kAllStoneTemperaments[static_cast<std::size_t>(m)];
}

void to_json(nlohmann::json& j, const StoneMaterial& m) {
    j = std::string(toString(m));
}
void from_json(const nlohmann::json& j, StoneMaterial& m) {
    JsonFields::readRawValue(j, m, stoneMaterialFrom);
}
void to_json(nlohmann::json& j, const StoneTemperament& t) {
    j = std::string(toString(t));
}
void from_json(const nlohmann::json& j, StoneTemperament& t) {
    JsonFields::readRawValue(j, t, stoneTemperamentFrom);
}

StoneIdentity::StoneIdentity(int schemaVersion, std::string stoneId, StoneMaterial material,
                             StoneTemperament temperament, std::string seed, int shapeRevision)
    : schemaVersion_(schemaVersion),
      stoneId_(std::move(stoneId)),
      material_(material),
      temperament_(temperament),
      seed_(std::move(seed)),
      shapeRevision_(shapeRevision) {}

std::optional<StoneIdentity> StoneIdentity::make(int schemaVersion, std::string stoneId,
                                                 StoneMaterial material, StoneTemperament temperament,
                                                 std::string seed, int shapeRevision) {
    if (!keepsContract(schemaVersion, stoneId, material, temperament, seed, shapeRevision))
        return std::nullopt;
    return StoneIdentity(schemaVersion, std::move(stoneId), material, temperament, std::move(seed),
                         shapeRevision);
}

StoneIdentity StoneIdentity::validatedOrFallback(int schemaVersion, std::string stoneId,
                                                 StoneMaterial material, StoneTemperament temperament,
                                                 std::string seed, int shapeRevision) {
    auto made =
        make(schemaVersion, std::move(stoneId), material, temperament, std::move(seed), shapeRevision);
    return made ? std::move(*made) : fallback();
}

const StoneIdentity& StoneIdentity::fallback() {
    static const StoneIdentity identity(1, "pebble-1c7e", StoneMaterial::pebble, StoneTemperament::steady,
                                        "1c7e", 1);
    return identity;
}

bool StoneIdentity::isValidSeed(std::string_view seed) {
    const auto characters = UnicodeText::characters(seed);
    if (characters.size() != 4) return false;
    // A character is in range only as the bare digit or letter: one carrying a combining mark
    // or a joiner is another character, and would never name a drawing.
    for (const auto& c : characters) {
        if (c.size() != 1 || !((c[0] >= '0' && c[0] <= '9') || (c[0] >= 'a' && c[0] <= 'f'))) return false;
    }
    return true;
}

StoneIdentityDecoding StoneIdentity::decode(std::string_view bytes) {
    auto json = JsonText::decode(bytes);
    if (!json) return StoneIdentityDecodeError{DecodeKind::notJson, "", "not valid JSON"};
    if (!json->is_object()) return StoneIdentityDecodeError{DecodeKind::wrongType, "", "expected an object"};
    try {
        const int schemaVersion = integerField(*json, "schemaVersion");
        std::string stoneId = stringField(*json, "stoneId");
        const auto material =
            rawValueField(*json, "material", stoneMaterialFrom, DecodeKind::unknownMaterial);
        const auto temperament =
            rawValueField(*json, "temperament", stoneTemperamentFrom, DecodeKind::unknownTemperament);
        std::string seed = stringField(*json, "seed");
        const int shapeRevision = integerField(*json, "shapeRevision");
        auto made =
            make(schemaVersion, std::move(stoneId), material, temperament, std::move(seed), shapeRevision);
        if (!made) {
            return StoneIdentityDecodeError{DecodeKind::contractViolation, "",
                                            std::string(StoneIdentityDecodeError::contractViolationText)};
        }
        return std::move(*made);
    } catch (const DecodeFailure& failure) {
        return failure.error;
    }
}

std::optional<StoneIdentity> StoneIdentity::strictDecode(std::string_view bytes) {
    auto decoded = decode(bytes);
    if (auto* identity = std::get_if<StoneIdentity>(&decoded)) return std::move(*identity);
    return std::nullopt;
}

StoneIdentity StoneIdentity::decodeOrFallback(std::string_view bytes) {
    return strictDecode(bytes).value_or(fallback());
}

std::string StoneIdentity::encode() const {
    nlohmann::ordered_json json;
    json["schemaVersion"] = schemaVersion_;
    json["stoneId"] = stoneId_;
    json["material"] = std::string(toString(material_));
    json["temperament"] = std::string(toString(temperament_));
    json["seed"] = seed_;
    json["shapeRevision"] = shapeRevision_;
    return json.dump();
}

}  // namespace quillfen
