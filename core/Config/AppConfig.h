#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Signals/FaceTier.h"

namespace quillfen {

enum class LocationMode { coreLocationCoarse, fixedPlace, none };

std::string_view toString(LocationMode);
std::optional<LocationMode> locationModeFrom(std::string_view);

struct MapperThresholds {
    double idleSeconds = 180.0;
    int fragmentedSwitchesPerHour = 12;
    int longStretchMinutes = 75;
    int heavyStretchMinutes = 150;

    static MapperThresholds defaults() { return {}; }
    bool operator==(const MapperThresholds&) const = default;
};

struct DeciderThresholds {
    int fireAfterMinutes = 120;
    int maxNudgesPerDay = 2;
    double dayStartHour = 7.0;
    double dayEndHour = 20.0;
    int wordyVariantFloorMinutes = 165;

    static DeciderThresholds defaults() { return {}; }
    bool operator==(const DeciderThresholds&) const = default;
};

using Environment = std::map<std::string, std::string>;

// The run-time configuration, built once from the environment at start.
struct AppConfig {
    static constexpr const char* kDefaultFarlumeBaseURL = "https://farlume.quillfen.org";

    std::string farlumeBaseURL = kDefaultFarlumeBaseURL;
    LocationMode locationMode = LocationMode::coreLocationCoarse;
    std::optional<std::string> fixedPlace;
    int locationRoundingDecimals = 2;
    double skyCheckTimeout = 2.5;
    MapperThresholds mapperThresholds;
    DeciderThresholds deciderThresholds;
    FaceThresholds faceThresholds;
    int logRetentionDays = 14;
    bool cloudMindEnabled = true;
    std::string cloudMindModel = "haiku";
    double cloudMindTimeout = 12.0;
    bool observeOnly = true;

    // Never fails: a malformed value leaves its default in place.
    static AppConfig fromEnvironment(const Environment& environment);

    bool operator==(const AppConfig&) const = default;
};

// The process environment as a map, read once by the composition root.
// The value of `name` in `environment`, or null when it is not set.
const std::string* environmentValue(const Environment& environment, const char* name);

Environment processEnvironment();

// Whether text parses as an absolute URL with a scheme and a host.
bool isParseableURL(std::string_view text);

}  // namespace quillfen
