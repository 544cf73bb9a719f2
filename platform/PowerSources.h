#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillfen {

// One power source as the system describes it. The state reads "Battery Power" while the
// machine runs from this source and "AC Power" otherwise; capacities are absent when the
// system gives no whole number for them.
struct PowerSourceDescription {
    std::optional<std::string> powerSourceState;
    std::optional<std::int64_t> currentCapacity;
    std::optional<std::int64_t> maxCapacity;
    bool operator==(const PowerSourceDescription&) const = default;
};

inline constexpr const char* kBatteryPowerState = "Battery Power";
inline constexpr const char* kACPowerState = "AC Power";

class PowerSources {
public:
    virtual ~PowerSources() = default;
    // The machine's own batteries, first one first; empty when there is none.
    virtual std::vector<PowerSourceDescription> sources() = 0;
};

// The kernel's power-supply class; `root` is its folder, replaceable for tests.
std::unique_ptr<PowerSources> makePowerSources(std::filesystem::path root = "/sys/class/power_supply");

}  // namespace quillfen
