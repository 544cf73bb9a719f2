#include "Stone/StoneIdentity.h"

#include <string>

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"

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

}  // namespace quillfen
