#pragma once

#include <optional>
#include <string_view>

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

// Written as the raw value; any other text fails to read (throws nlohmann::json::exception).
void to_json(nlohmann::json&, const StoneMaterial&);
void from_json(const nlohmann::json&, StoneMaterial&);
void to_json(nlohmann::json&, const StoneTemperament&);
void from_json(const nlohmann::json&, StoneTemperament&);

}  // namespace quillfen
