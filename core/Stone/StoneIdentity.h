#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

namespace quillfen {

// Each material pairs with the temperament at the same position.
enum class StoneMaterial { pebble, flint, obsidian, quartz };
enum class StoneTemperament { steady, direct, reserved, observant };

inline constexpr StoneMaterial kAllStoneMaterials[] = {StoneMaterial::pebble, StoneMaterial::flint,
                                                       StoneMaterial::obsidian, StoneMaterial::quartz};
inline constexpr StoneTemperament kAllStoneTemperaments[] = {
    StoneTemperament::steady, StoneTemperament::direct, StoneTemperament::reserved,
    StoneTemperament::observant};

std::string_view toString(StoneMaterial);
std::string_view toString(StoneTemperament);
// Exact, case-sensitive matches only.
std::optional<StoneMaterial> stoneMaterialFrom(std::string_view);
std::optional<StoneTemperament> stoneTemperamentFrom(std::string_view);
// The temperament at the material's position.
StoneTemperament pairedTemperament(StoneMaterial);

// Written as the raw value; any other text fails to read (throws nlohmann::json::exception).
void to_json(nlohmann::json&, const StoneMaterial&);
void from_json(const nlohmann::json&, StoneMaterial&);
void to_json(nlohmann::json&, const StoneTemperament&);
void from_json(const nlohmann::json&, StoneTemperament&);

// Why a stored identity could not be read. The key names the field concerned; it is empty when
// the whole text or value is at fault (no JSON, no object, an object that breaks the contract).
struct StoneIdentityDecodeError {
    enum class Kind {
        notJson,
        missingKey,
        wrongType,
        unknownMaterial,
        unknownTemperament,
        contractViolation
    };
    static constexpr std::string_view contractViolationText = "stone-identity v1 contract violation";

    Kind kind = Kind::notJson;
    std::string key;
    std::string description;
    bool operator==(const StoneIdentityDecodeError&) const = default;
};

class StoneIdentity;
using StoneIdentityDecoding = std::variant<StoneIdentity, StoneIdentityDecodeError>;

// The user's stone. Every value keeps the v1 contract: versions 1, a seed of four characters
// 0-9 a-f, the material's own temperament, and an id that is the material, "-" and the seed.
// Only make(), validatedOrFallback(), the decoders and fallback() produce one.
class StoneIdentity {
public:
    static constexpr int currentSchemaVersion = 1, currentShapeRevision = 1;

    static std::optional<StoneIdentity> make(int schemaVersion, std::string stoneId, StoneMaterial material,
                                             StoneTemperament temperament, std::string seed,
                                             int shapeRevision);
    static StoneIdentity validatedOrFallback(int schemaVersion, std::string stoneId, StoneMaterial material,
                                             StoneTemperament temperament, std::string seed,
                                             int shapeRevision);
    // What every surface wears until a stone is kept: pebble-1c7e.
    static const StoneIdentity& fallback();
    // Exactly four user-perceived characters, each one of 0-9 a-f.
    static bool isValidSeed(std::string_view seed);

    // The stored form read back: the six keys in any order, further keys ignored, the first
    // failing key in field order deciding the error, and the contract checked last.
    static StoneIdentityDecoding decode(std::string_view bytes);
    static std::optional<StoneIdentity> strictDecode(std::string_view bytes);
    static StoneIdentity decodeOrFallback(std::string_view bytes);
    // The six keys in field order, as compact JSON.
    std::string encode() const;

    int schemaVersion() const { return schemaVersion_; }
    const std::string& stoneId() const { return stoneId_; }
    StoneMaterial material() const { return material_; }
    StoneTemperament temperament() const { return temperament_; }
    const std::string& seed() const { return seed_; }
    int shapeRevision() const { return shapeRevision_; }

    bool operator==(const StoneIdentity&) const = default;

private:
    StoneIdentity(int schemaVersion, std::string stoneId, StoneMaterial material,
                  StoneTemperament temperament, std::string seed, int shapeRevision);

    int schemaVersion_;
    std::string stoneId_;
    StoneMaterial material_;
    StoneTemperament temperament_;
    std::string seed_;
    int shapeRevision_;
};

}  // namespace quillfen
